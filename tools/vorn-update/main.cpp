// vorn-update: the launcher's updater without a window, for servers and scripts.
#include "config/writable_places.h"
#include "tools/vorn-update/headless_update.h"
#include "tools/vorn-update/console.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vorn-update"));
    vorn::setPlacesName(QStringLiteral("vorn-update"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Checks the update servers of launcher.json for the current signed release and, unless "
        "--check is given, brings the game folder to it (only missing objects are downloaded, "
        "every byte is verified, files are swapped in one transaction).\n\n"
        "Exit codes: 0 done (or up to date), 1 update failed (\"CODE: message\" on stderr), "
        "2 configuration error, 3 no server answered with a current release (unreachable, or only "
        "an expired release pointer or one older than the newest accepted, which the game "
        "folder's .vorn remembers), 130 cancelled (Ctrl+C).\n\n"
        "Environment: VORN_PROXY_PASSWORD is the password for --proxy-user; VORN_CA_BUNDLE names "
        "a PEM file of extra certificate authorities to trust (the system store is always used); "
        "https_proxy, http_proxy and no_proxy apply with --proxy system."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("config"), QStringLiteral("launcher.json with the update servers."), QStringLiteral("FILE")},
        {QStringLiteral("key"), QStringLiteral("The publisher's public-key.blob; further trusted keys are "
                                               "the *.blob files of the folder public-keys beside it."),
         QStringLiteral("FILE")},
        {QStringLiteral("game-dir"), QStringLiteral("The game folder to check or update."), QStringLiteral("DIR")},
        {QStringLiteral("check"), QStringLiteral("Only print: server release, installed release (or none), base URL.")},
        {QStringLiteral("cache-dir"), QStringLiteral("Object cache and last verified manifest (default: cache beside this program, or "
                                                     "$XDG_CACHE_HOME/vorn-update when its folder is read-only)."),
         QStringLiteral("DIR")},
        {QStringLiteral("force"), QStringLiteral("Run the update even when the installed release is current.")},
        {QStringLiteral("rate-limit"), QStringLiteral("Download limit in MB/s (1 MB = 1048576 bytes)."), QStringLiteral("MBPS")},
        {QStringLiteral("proxy"), QStringLiteral("system (default, honours https_proxy), direct, or HOST:PORT."), QStringLiteral("MODE")},
        {QStringLiteral("proxy-user"), QStringLiteral("Proxy user; the password comes from VORN_PROXY_PASSWORD."), QStringLiteral("USER")},
        {QStringLiteral("retry"), QStringLiteral("Keep retrying while no server answers, instead of exiting with 3.")},
        {QStringLiteral("ignore-running-game"), QStringLiteral("Apply even while vorn.exe runs.")},
        {QStringLiteral("verbose"), QStringLiteral("Print the status texts of the server check.")},
    });
    parser.process(app);

    vorn::HeadlessOptions options;
    options.configPath = parser.value(QStringLiteral("config"));
    options.keyPath = parser.value(QStringLiteral("key"));
    options.gameDir = parser.value(QStringLiteral("game-dir"));
    options.cacheDir = parser.isSet(QStringLiteral("cache-dir")) ? parser.value(QStringLiteral("cache-dir"))
                                                                 : vorn::placeFolder(vorn::Place::Cache);
    options.checkOnly = parser.isSet(QStringLiteral("check"));
    options.force = parser.isSet(QStringLiteral("force"));
    options.retry = parser.isSet(QStringLiteral("retry"));
    options.verbose = parser.isSet(QStringLiteral("verbose"));
    options.ignoreRunningGame = parser.isSet(QStringLiteral("ignore-running-game"));
    if (options.verbose && !parser.isSet(QStringLiteral("cache-dir")) && !vorn::writablePlaces().besideProgram)
        std::fprintf(stderr, "vorn-update: this program's folder is read-only; the cache is %s\n",
                     qPrintable(QDir::toNativeSeparators(options.cacheDir)));
    options.proxy = parser.value(QStringLiteral("proxy"));
    options.proxyUser = parser.value(QStringLiteral("proxy-user"));
    for (const char* required : {"config", "key", "game-dir"}) {
        if (parser.value(QLatin1String(required)).isEmpty()) {
            std::fprintf(stderr, "vorn-update: --%s is required (see --help)\n", required);
            return vorn::ExitConfiguration;
        }
    }
    if (parser.isSet(QStringLiteral("rate-limit"))) {
        bool ok = false;
        options.rateLimitMBps = parser.value(QStringLiteral("rate-limit")).toDouble(&ok);
        if (!ok || options.rateLimitMBps <= 0) {
            std::fprintf(stderr, "vorn-update: --rate-limit needs a positive number of MB/s\n");
            return vorn::ExitConfiguration;
        }
    }

    vorn::HeadlessUpdate update(options);
    vorn::InterruptNotifier interrupts;
    QObject::connect(&interrupts, &vorn::InterruptNotifier::interrupted, &update,
                     &vorn::HeadlessUpdate::interrupt);
    QObject::connect(&update, &vorn::HeadlessUpdate::finished, &app, &QCoreApplication::exit,
                     Qt::QueuedConnection);
    QMetaObject::invokeMethod(&update, &vorn::HeadlessUpdate::start, Qt::QueuedConnection);
    return app.exec();
}
