// Installs one release into a folder with the update engine, for tests that must kill the
// installing process at chosen moments. Exit codes: 0 installed (or recovered), 1 failed,
// 2 bad arguments, 130 cancelled.
#include "core/manifest.h"
#include "engine/update_engine.h"
#include "net/network_service.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <execinfo.h>
#include <signal.h>
#include <unistd.h>

namespace {

// A driver that dies of its own fault (not of the test's kill) writes its stack to stderr, which
// the test shows: such a failure may come once in hundreds of runs and cannot wait for a rerun.
void reportFault(int signalNumber)
{
    void* frames[64];
    const int count = backtrace(frames, 64);
    const char heading[] = "\nvorn_engine_driver: fatal signal, stack:\n";
    (void)!write(STDERR_FILENO, heading, sizeof heading - 1);
    backtrace_symbols_fd(frames, count, STDERR_FILENO);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

} // namespace

int main(int argc, char** argv)
{
    // The first backtrace loads the unwinder, which allocates: not in a handler on a broken heap.
    void* warmUp[1];
    (void)backtrace(warmUp, 1);
    for (const int fault : {SIGABRT, SIGSEGV, SIGBUS, SIGILL, SIGFPE})
        signal(fault, reportFault);
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption manifestOption(QStringLiteral("manifest"), QStringLiteral("Manifest file"),
                                            QStringLiteral("file"));
    const QCommandLineOption urlOption(QStringLiteral("base-url"), QStringLiteral("Repository URL"),
                                       QStringLiteral("url"));
    const QCommandLineOption gameOption(QStringLiteral("game"), QStringLiteral("Game folder"),
                                        QStringLiteral("folder"));
    const QCommandLineOption cacheOption(QStringLiteral("cache"), QStringLiteral("Cache folder"),
                                         QStringLiteral("folder"));
    const QCommandLineOption recoverOption(QStringLiteral("recover-only"),
                                           QStringLiteral("Only undo an interrupted install"));
    parser.addOptions({manifestOption, urlOption, gameOption, cacheOption, recoverOption});
    parser.process(app);
    QTextStream err(stderr);

    const QString game = parser.value(gameOption);
    if (game.isEmpty()) {
        err << "--game is required\n";
        return 2;
    }
    if (parser.isSet(recoverOption)) {
        QString code;
        QString error;
        if (vorn::UpdateEngine::recoverFolder(game, &code, &error))
            return 0;
        err << code << ": " << error << '\n';
        return 1;
    }

    QFile manifestFile(parser.value(manifestOption));
    vorn::Manifest manifest;
    QString error;
    if (!manifestFile.open(QIODevice::ReadOnly)
        || !vorn::parseManifest(manifestFile.readAll(), &manifest, &error)) {
        err << "cannot read the manifest: " << error << '\n';
        return 2;
    }

    vorn::NetworkService network;
    vorn::UpdateEngine engine(&network);
    engine.setCacheRoot(parser.value(cacheOption));
    int exitCode = 1;
    QObject::connect(&engine, &vorn::UpdateEngine::ready, &app, [&] {
        exitCode = 0;
        app.quit();
    });
    QObject::connect(&engine, &vorn::UpdateEngine::failedDetailed, &app,
                     [&](const QString& code, const QString& message) {
                         err << code << ": " << message << '\n';
                         err.flush();
                         exitCode = 1;
                         app.quit();
                     });
    QObject::connect(&engine, &vorn::UpdateEngine::cancelled, &app, [&] {
        exitCode = 130;
        app.quit();
    });
    engine.start(manifest, parser.value(urlOption), game, false);
    if (!engine.isRunning())
        return 1;
    app.exec();
    return exitCode;
}
