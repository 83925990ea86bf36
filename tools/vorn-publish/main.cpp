// vorn-publish: keys, releases, verification and pruning of a static update repository.
#include "publish/chunk_choice.h"
#include "publish/publisher.h"
#include "publish/release_keys.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTextStream>

#include <cstdio>

namespace {

using namespace vorn;
using namespace vorn::publish;

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

int fail(const QString& message)
{
    std::fprintf(stderr, "vorn-publish: %s\n", qPrintable(message));
    return 1;
}

bool parseSubcommand(QCommandLineParser& parser, const QStringList& arguments, QString* error)
{
    parser.addHelpOption();
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        out() << parser.helpText();
        out().flush();
        std::exit(0);
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first());
        return false;
    }
    return true;
}

bool requireOptions(const QCommandLineParser& parser, const QStringList& names, QString* error)
{
    for (const QString& name : names) {
        if (parser.value(name).isEmpty()) {
            *error = QStringLiteral("--%1 is required").arg(name);
            return false;
        }
    }
    return true;
}

bool readNumber(const QCommandLineParser& parser, const QString& name, qint64* value, QString* error)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const qint64 number = parser.value(name).toLongLong(&ok);
    if (!ok || number < 0) {
        *error = QStringLiteral("--%1 needs a non-negative whole number").arg(name);
        return false;
    }
    *value = number;
    return true;
}

bool readExpiry(const QCommandLineParser& parser, int* days, QString* error)
{
    qint64 value = *days;
    if (!readNumber(parser, QStringLiteral("expires-in"), &value, error))
        return false;
    if (value < 1 || value > kMaxPointerLifetimeDays) {
        *error = QStringLiteral("--expires-in needs 1 to %1 days").arg(kMaxPointerLifetimeDays);
        return false;
    }
    *days = int(value);
    return true;
}

QString describeExpiry(const QDateTime& expiresUtc)
{
    if (!expiresUtc.isValid())
        return QStringLiteral("never expires");
    const qint64 seconds = QDateTime::currentDateTimeUtc().secsTo(expiresUtc);
    return QStringLiteral("expires %1 (%2)")
        .arg(expiresUtc.toString(Qt::ISODate),
             seconds >= 0 ? QStringLiteral("in %1 days").arg(seconds / 86400.0, 0, 'f', 1)
                          : QStringLiteral("%1 days ago").arg(-seconds / 86400.0, 0, 'f', 1));
}

QString describeSequence(qint64 sequence)
{
    return sequence > 0 ? QString::number(sequence) : QStringLiteral("none");
}

const QCommandLineOption kExpiresInOption(
    QStringLiteral("expires-in"),
    QStringLiteral("Launchers refuse the channel pointer DAYS days from now (default %1); run "
                   "'refresh' before then.").arg(kDefaultPointerLifetimeDays),
    QStringLiteral("DAYS"));
const QCommandLineOption kTrustOption(
    QStringLiteral("trust"),
    QStringLiteral("Public key blob whose signature on the current pointer is accepted besides the "
                   "signing key's: the previous key when switching keys; repeatable."),
    QStringLiteral("public-key.blob"));

int runKeygen(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Creates a release key pair: DIR/release-private.pem (PKCS#8, readable by you only) and "
        "DIR/public-key.blob (ship it beside the launcher). Never overwrites a key."));
    parser.addOption({QStringLiteral("out"), QStringLiteral("Folder for the key files."), QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("bits"), QStringLiteral("RSA key size (default 3072)."), QStringLiteral("N"),
                      QString::number(defaultReleaseKeyBits)});
    QString error;
    if (!parseSubcommand(parser, arguments, &error) || !requireOptions(parser, {QStringLiteral("out")}, &error))
        return fail(error);
    bool ok = false;
    const int bits = parser.value(QStringLiteral("bits")).toInt(&ok);
    if (!ok)
        return fail(QStringLiteral("--bits needs a number"));
    if (!generateKeyFiles(parser.value(QStringLiteral("out")), bits, &error))
        return fail(error);
    out() << "wrote " << parser.value(QStringLiteral("out")) << "/release-private.pem and public-key.blob\n";
    return 0;
}

bool parseProfile(const QString& text, LaunchProfile* profile)
{
    // ID:TITLE:EXECUTABLE[:ARGUMENTS]; the arguments may contain colons themselves.
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() < 3)
        return false;
    profile->id = parts.at(0);
    profile->title = parts.at(1);
    profile->executable = parts.at(2);
    profile->arguments = parts.mid(3).join(QLatin1Char(':'));
    return true;
}

QString sizeText(qint64 bytes)
{
    if (bytes >= 1048576 && bytes % 1048576 == 0)
        return QStringLiteral("%1 MiB").arg(bytes / 1048576);
    if (bytes >= 1024 && bytes % 1024 == 0)
        return QStringLiteral("%1 KiB").arg(bytes / 1024);
    return QStringLiteral("%1 bytes").arg(bytes);
}

QString chunkingText(const ChunkingOptions& chunking)
{
    return QStringLiteral("average %1 (min %2, max %3, whole files up to %4)")
        .arg(sizeText(chunking.averageBytes), sizeText(chunking.minBytes), sizeText(chunking.maxBytes),
             sizeText(chunking.wholeFileThreshold));
}

void printChunking(const ReleaseOptions& options, const ReleaseSummary& summary)
{
    using Settings = ReleaseOptions::ChunkSettings;
    const bool likePrevious = options.chunkSettings == Settings::LikePrevious
                              && !summary.previousReleaseId.isEmpty();
    const QString how = options.chunkSettings == Settings::AsGiven ? QStringLiteral("as given")
        : likePrevious ? QStringLiteral("as in release %1").arg(summary.previousReleaseId)
                       : QStringLiteral("chosen for the release size");
    out() << QStringLiteral("chunks: %1, %2; manifest %3 KiB\n")
                 .arg(chunkingText(summary.chunking), how)
                 .arg((summary.manifestBytes + 1023) / 1024);
    if (options.chunkSettings == Settings::LikePrevious && !likePrevious)
        out() << "note: no earlier release to take chunk settings from; they were chosen for the release size\n";
    if (!summary.manifestBudgetMet) {
        out() << QStringLiteral("note: even with the largest chunks the manifest is above the %1 MiB "
                                "it is meant to stay under (many files take room of their own)\n")
                     .arg(kManifestBudgetBytes / 1048576);
    }
    if (summary.chunkingChanged()) {
        out() << QStringLiteral("note: release %1 was cut with %2; chunks cut differently share no "
                                "object, so most of this release was stored anew (players still "
                                "download only what changed). --chunk-like-previous keeps the "
                                "settings of %1.\n")
                     .arg(summary.previousReleaseId, chunkingText(summary.previousChunking));
    }
}

int runRelease(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Publishes GAME_DIR as release ID into the static repository REPO_DIR: objects/, "
        "manifests/ID.json and .sig, then channels/live.json and .sig (replaced last). Objects "
        "already in the repository are reused. A launcher release is published the same way, "
        "from the launcher's folder as players get it, into a repository of its own."));
    parser.addOptions({
        {QStringLiteral("source"), QStringLiteral("Game folder to publish."), QStringLiteral("GAME_DIR")},
        {QStringLiteral("repo"), QStringLiteral("Repository folder (created if missing)."), QStringLiteral("REPO_DIR")},
        {QStringLiteral("key"), QStringLiteral("Private key (PEM)."), QStringLiteral("PRIVATE.pem")},
        {QStringLiteral("release-id"), QStringLiteral("Release ID (letters, digits, . _ -)."), QStringLiteral("ID")},
        {QStringLiteral("game-root"), QStringLiteral("Game folder name (default Ostravel)."), QStringLiteral("NAME")},
        {QStringLiteral("min"), QStringLiteral("Smallest chunk in bytes (default 1048576 when any chunk option is given)."), QStringLiteral("N")},
        {QStringLiteral("avg"), QStringLiteral("Target chunk size (default 4194304 when any chunk option is given)."), QStringLiteral("N")},
        {QStringLiteral("max"), QStringLiteral("Largest chunk (default 8388608 when any chunk option is given)."), QStringLiteral("N")},
        {QStringLiteral("whole-file-threshold"), QStringLiteral("Files up to N bytes are one chunk (default 8388608 when any chunk option is given)."), QStringLiteral("N")},
        {QStringLiteral("chunk-like-previous"), QStringLiteral("Cut with the settings of the live release, so its objects are reused. Without this or a chunk option, the settings are chosen from the release's size.")},
        {QStringLiteral("level"), QStringLiteral("compression level 0-12 (default 6; 10-12 are slow and smallest)."), QStringLiteral("N")},
        {QStringLiteral("profile"), QStringLiteral("Launch profile; repeatable."), QStringLiteral("ID:TITLE:EXECUTABLE[:ARGUMENTS]")},
        {QStringLiteral("preserve"), QStringLiteral("Files matching GLOB become the player's own (never replaced); repeatable."), QStringLiteral("GLOB")},
        {QStringLiteral("keep-list"), QStringLiteral("Entry of the manifest's preserve list; repeatable."), QStringLiteral("TEXT")},
        kExpiresInOption,
        kTrustOption,
    });
    QString error;
    if (!parseSubcommand(parser, arguments, &error)
        || !requireOptions(parser, {QStringLiteral("source"), QStringLiteral("repo"), QStringLiteral("key"),
                                    QStringLiteral("release-id")}, &error))
        return fail(error);

    ReleaseOptions options;
    options.sourceDir = parser.value(QStringLiteral("source"));
    options.repoDir = parser.value(QStringLiteral("repo"));
    options.privateKeyPath = parser.value(QStringLiteral("key"));
    options.releaseId = parser.value(QStringLiteral("release-id"));
    if (parser.isSet(QStringLiteral("game-root")))
        options.gameRoot = parser.value(QStringLiteral("game-root"));
    qint64 level = options.compressionLevel;
    if (!readNumber(parser, QStringLiteral("min"), &options.chunking.minBytes, &error)
        || !readNumber(parser, QStringLiteral("avg"), &options.chunking.averageBytes, &error)
        || !readNumber(parser, QStringLiteral("max"), &options.chunking.maxBytes, &error)
        || !readNumber(parser, QStringLiteral("whole-file-threshold"), &options.chunking.wholeFileThreshold, &error)
        || !readNumber(parser, QStringLiteral("level"), &level, &error))
        return fail(error);
    options.compressionLevel = int(qMin<qint64>(level, 100));
    const bool chunkOptionGiven = parser.isSet(QStringLiteral("min")) || parser.isSet(QStringLiteral("avg"))
        || parser.isSet(QStringLiteral("max")) || parser.isSet(QStringLiteral("whole-file-threshold"));
    if (parser.isSet(QStringLiteral("chunk-like-previous"))) {
        if (chunkOptionGiven)
            return fail(QStringLiteral("--chunk-like-previous cannot be combined with chunk sizes"));
        options.chunkSettings = ReleaseOptions::ChunkSettings::LikePrevious;
    } else if (!chunkOptionGiven) {
        options.chunkSettings = ReleaseOptions::ChunkSettings::BySize;
    }
    for (const QString& text : parser.values(QStringLiteral("profile"))) {
        LaunchProfile profile;
        if (!parseProfile(text, &profile))
            return fail(QStringLiteral("--profile needs ID:TITLE:EXECUTABLE[:ARGUMENTS]: %1").arg(text));
        options.launchProfiles.append(profile);
    }
    options.preserveGlobs = parser.values(QStringLiteral("preserve"));
    options.keepList = parser.values(QStringLiteral("keep-list"));
    options.trustedKeyPaths = parser.values(kTrustOption);
    if (!readExpiry(parser, &options.expiresInDays, &error))
        return fail(error);

    ReleaseSummary summary;
    if (!publishRelease(options, &summary, &error))
        return fail(error);
    const double seconds = qMax<qint64>(summary.elapsedMs, 1) / 1000.0;
    out() << QStringLiteral("release %1: %2 files, %3 MiB, %4 chunks; objects %5 new / %6 reused; "
                            "%7 MiB stored new; %8 s (%9 MiB/s)\n")
                 .arg(options.releaseId)
                 .arg(summary.files)
                 .arg(summary.sourceBytes / 1048576.0, 0, 'f', 1)
                 .arg(summary.chunks)
                 .arg(summary.objectsNew)
                 .arg(summary.objectsReused)
                 .arg(summary.bytesStoredNew / 1048576.0, 0, 'f', 1)
                 .arg(seconds, 0, 'f', 2)
                 .arg(summary.sourceBytes / 1048576.0 / seconds, 0, 'f', 1);
    printChunking(options, summary);
    return 0;
}

int runVerify(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Checks the channel pointer's signature and expiry, the manifest's digest and signature and "
        "every object of a release (size, digest, decompression, chunk digest), and prints the "
        "pointer's sequence and expiry. Exits 1 on any fault."));
    parser.addOptions({
        {QStringLiteral("repo"), QStringLiteral("Repository folder."), QStringLiteral("REPO_DIR")},
        {QStringLiteral("key"), QStringLiteral("Public key blob; repeatable: a signature by any of them "
                                               "counts, as in a launcher that trusts them all."),
         QStringLiteral("public-key.blob")},
        {QStringLiteral("release-id"), QStringLiteral("Release to check (default: the live one)."), QStringLiteral("ID")},
    });
    QString error;
    if (!parseSubcommand(parser, arguments, &error)
        || !requireOptions(parser, {QStringLiteral("repo"), QStringLiteral("key")}, &error))
        return fail(error);
    QList<QByteArray> keys;
    for (const QString& path : parser.values(QStringLiteral("key"))) {
        QFile keyFile(path);
        if (!keyFile.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("Cannot read %1: %2").arg(keyFile.fileName(), keyFile.errorString()));
        keys.append(keyFile.readAll());
    }
    VerifyReport report;
    const bool ok = verifyRelease(parser.value(QStringLiteral("repo")), keys,
                                  parser.value(QStringLiteral("release-id")), &report, &error);
    for (const QString& problem : report.problems)
        std::fprintf(stderr, "%s\n", qPrintable(problem));
    out() << QStringLiteral("channel pointer: sequence %1, %2\n")
                 .arg(describeSequence(report.sequence), describeExpiry(report.expiresUtc));
    out().flush();
    if (!ok)
        return fail(error);
    out() << QStringLiteral("release %1: %2 files, %3 objects verified\n")
                 .arg(report.releaseId)
                 .arg(report.files)
                 .arg(report.objects);
    return 0;
}

int runRefresh(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Signs the live channel pointer again with the next sequence and a new expiry, for the "
        "same release; run it periodically (well within --expires-in) so launchers keep "
        "accepting the pointer between releases. The current pointer must verify under the "
        "signing key or a --trust key. When signing has moved to a new key, the live manifest's "
        "signature is renewed too."));
    parser.addOptions({
        {QStringLiteral("repo"), QStringLiteral("Repository folder."), QStringLiteral("REPO_DIR")},
        {QStringLiteral("key"), QStringLiteral("Private key (PEM)."), QStringLiteral("PRIVATE.pem")},
        kExpiresInOption,
        kTrustOption,
    });
    QString error;
    if (!parseSubcommand(parser, arguments, &error)
        || !requireOptions(parser, {QStringLiteral("repo"), QStringLiteral("key")}, &error))
        return fail(error);
    PointerOptions options;
    options.repoDir = parser.value(QStringLiteral("repo"));
    options.privateKeyPath = parser.value(QStringLiteral("key"));
    options.trustedKeyPaths = parser.values(kTrustOption);
    if (!readExpiry(parser, &options.expiresInDays, &error))
        return fail(error);
    RefreshSummary summary;
    if (!refreshChannelPointer(options, &summary, &error))
        return fail(error);
    out() << QStringLiteral("release %1: channel pointer sequence %2, %3%4\n")
                 .arg(summary.releaseId, describeSequence(summary.sequence),
                      describeExpiry(summary.expiresUtc),
                      summary.manifestResigned ? QStringLiteral("; manifest signed again with this key")
                                               : QString());
    return 0;
}

int runPrune(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Keeps the newest N releases (and always the live one) and deletes older manifests and "
        "every object no kept release uses."));
    parser.addOptions({
        {QStringLiteral("repo"), QStringLiteral("Repository folder."), QStringLiteral("REPO_DIR")},
        {QStringLiteral("keep"), QStringLiteral("Number of releases to keep."), QStringLiteral("N")},
    });
    QString error;
    if (!parseSubcommand(parser, arguments, &error)
        || !requireOptions(parser, {QStringLiteral("repo"), QStringLiteral("keep")}, &error))
        return fail(error);
    bool ok = false;
    const int keep = parser.value(QStringLiteral("keep")).toInt(&ok);
    if (!ok)
        return fail(QStringLiteral("--keep needs a number"));
    PruneSummary summary;
    if (!pruneRepository(parser.value(QStringLiteral("repo")), keep, &summary, &error))
        return fail(error);
    out() << QStringLiteral("kept %1; deleted %2 release(s) and %3 object(s), %4 MiB\n")
                 .arg(summary.keptReleases.join(QStringLiteral(", ")))
                 .arg(summary.deletedReleases.size())
                 .arg(summary.objectsDeleted)
                 .arg(summary.bytesFreed / 1048576.0, 0, 'f', 1);
    return 0;
}

const char kUsage[] =
    "Usage: vorn-publish <command> [options]\n"
    "Commands:\n"
    "  keygen   create a release key pair\n"
    "  release  publish a game (or launcher) folder as a signed release\n"
    "  refresh  sign the live channel pointer again with a new sequence and expiry\n"
    "  verify   check a published release\n"
    "  prune    delete old releases and unused objects\n"
    "Run 'vorn-publish <command> --help' for the options of a command.\n";

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vorn-publish"));
    QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2 || arguments.at(1) == QLatin1String("--help")
        || arguments.at(1) == QLatin1String("-h")) {
        std::fputs(kUsage, arguments.size() < 2 ? stderr : stdout);
        return arguments.size() < 2 ? 2 : 0;
    }
    const QString command = arguments.takeAt(1);
    arguments[0] = QStringLiteral("vorn-publish ") + command;
    if (command == QLatin1String("keygen"))
        return runKeygen(arguments);
    if (command == QLatin1String("release"))
        return runRelease(arguments);
    if (command == QLatin1String("refresh"))
        return runRefresh(arguments);
    if (command == QLatin1String("verify"))
        return runVerify(arguments);
    if (command == QLatin1String("prune"))
        return runPrune(arguments);
    std::fputs(kUsage, stderr);
    return fail(QStringLiteral("unknown command: %1").arg(command));
}
