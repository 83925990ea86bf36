#include "tools/vorn-update/headless_update.h"

#include "config/launcher_config.h"
#include "core/file_status.h"
#include "core/local_state.h"
#include "core/manifest.h"
#include "core/pointer_history.h"
#include "core/release_signature.h"
#include "engine/update_engine.h"
#include "net/network_service.h"
#include "net/proxy_settings.h"
#include "release/release_index_client.h"
#include "tools/vorn-update/console.h"

#include <QDir>
#include <QFile>
#include <QTimer>

#include <cstdio>

namespace vorn {

namespace {

// Release IDs, paths and messages come from the update server; printed raw, control
// characters in them would drive the terminal (escape sequences, forged lines).
QByteArray printable(const QString& text)
{
    QString safe = text;
    for (QChar& c : safe) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Other_Format)
            c = QLatin1Char('?');
    }
    return safe.toLocal8Bit();
}

void printError(const QString& text)
{
    std::fprintf(stderr, "%s\n", printable(text).constData());
    std::fflush(stderr);
}

void printLine(const QString& text)
{
    std::printf("%s\n", printable(text).constData());
    std::fflush(stdout);
}

QString formatDuration(qint64 seconds)
{
    if (seconds < 0)
        return QStringLiteral("--:--");
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

bool parseProxy(const QString& text, const QString& user, ProxySettings* settings, QString* error)
{
    const QString mode = text.isEmpty() ? QStringLiteral("system") : text;
    if (mode == QLatin1String("system")) {
        settings->mode = ProxyMode::System;
    } else if (mode == QLatin1String("direct")) {
        settings->mode = ProxyMode::Direct;
    } else {
        const int colon = mode.lastIndexOf(QLatin1Char(':'));
        bool ok = false;
        const uint port = colon > 0 ? mode.mid(colon + 1).toUInt(&ok) : 0;
        if (!ok || port == 0 || port > 65535) {
            *error = QStringLiteral("--proxy needs system, direct or HOST:PORT");
            return false;
        }
        settings->mode = ProxyMode::ManualHttp;
        settings->host = mode.left(colon);
        settings->port = quint16(port);
    }
    settings->user = user;
    settings->password = QString::fromLocal8Bit(qgetenv("VORN_PROXY_PASSWORD"));
    return true;
}

} // namespace

QString installedReleaseId(const QString& gameDir)
{
    QByteArray bytes;
    Manifest manifest;
    if (!readRegularFile(installedManifestPath(QDir(gameDir)), kMaxInstalledManifestBytes, &bytes)
        || !parseManifest(bytes, &manifest, nullptr))
        return QStringLiteral("none");
    return manifest.releaseId;
}

HeadlessUpdate::HeadlessUpdate(HeadlessOptions options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_terminal(stderrIsTerminal())
{
}

HeadlessUpdate::~HeadlessUpdate() = default;

void HeadlessUpdate::start()
{
    QString error;
    const LauncherConfig config = loadLauncherConfig(m_options.configPath, &error);
    if (!error.isEmpty())
        printError(error);
    if (config.updateBaseUrls.isEmpty()) {
        finish(ExitConfiguration);
        return;
    }
    QFile keyFile(m_options.keyPath);
    if (!keyFile.open(QIODevice::ReadOnly)) {
        printError(QStringLiteral("Cannot read the release public key %1: %2")
                       .arg(m_options.keyPath, keyFile.errorString()));
        finish(ExitConfiguration);
        return;
    }
    const QByteArray publicKey = keyFile.readAll();
    QString keyError;
    if (publicKey.isEmpty()) {
        printError(QStringLiteral("The release public key %1 is empty").arg(m_options.keyPath));
        finish(ExitConfiguration);
        return;
    }
    // A key that cannot be read is the configuration's fault, not the servers'.
    if (!verifyReleaseSignature(publicKey, QByteArray(), QByteArray(), &keyError)
        && keyError.startsWith(QLatin1String("Cannot import release public key"))) {
        printError(QStringLiteral("%1: %2").arg(m_options.keyPath, keyError));
        finish(ExitConfiguration);
        return;
    }
    ProxySettings proxy;
    if (!parseProxy(m_options.proxy, m_options.proxyUser, &proxy, &error)) {
        printError(error);
        finish(ExitConfiguration);
        return;
    }

    // An install killed after writing its installed manifest is finished (and its leftovers
    // removed) before that manifest may say the folder is up to date.
    if (!m_options.checkOnly) {
        QString code;
        if (!UpdateEngine::recoverFolder(m_options.gameDir, &code, &error)) {
            printError(QStringLiteral("%1: %2").arg(code, error));
            finish(ExitUpdateFailed);
            return;
        }
    }
    m_installedRelease = installedReleaseId(m_options.gameDir);
    m_network = new NetworkService(this);
    m_network->setProxySettings(proxy);
    // Private deployments and tests trust their own authority here; the launcher never does.
    m_network->setExtraCertificateAuthorities(qEnvironmentVariable("VORN_CA_BUNDLE"));
    m_network->setDownloadRateLimit(qint64(m_options.rateLimitMBps * 1048576.0));

    m_index = new ReleaseIndexClient(m_network, this);
    m_servers = config.updateBaseUrls;
    m_index->setServers(m_servers);
    m_index->setPublicKeys(readTrustedPublicKeys(m_options.keyPath));
    const QDir gameFolder(m_options.gameDir);
    m_index->setSequenceStore(gamePointerHistoryPath(gameFolder), installedManifestPath(gameFolder));
    if (!m_options.cacheDir.isEmpty())
        m_index->setCacheFolder(QDir(m_options.cacheDir).filePath(QStringLiteral("manifest/game")));
    if (m_options.verbose)
        connect(m_index, &ReleaseIndexClient::statusChanged, this, &printError);
    connect(m_index, &ReleaseIndexClient::manifestReady, this, &HeadlessUpdate::onManifest);
    connect(m_index, &ReleaseIndexClient::failed, this, &HeadlessUpdate::onCheckFailed);
    m_index->checkForUpdates();
}

void HeadlessUpdate::onCheckFailed(const QString& message)
{
    printError(message);
    if (!m_options.retry || !m_index->isBusy())
        finish(ExitNoServer);
}

void HeadlessUpdate::onManifest(const Manifest& manifest, const QString& baseUrl)
{
    if (m_options.checkOnly) {
        printLine(QStringLiteral("%1 %2 %3").arg(manifest.releaseId, m_installedRelease, baseUrl));
        finish(ExitOk);
        return;
    }
    if (manifest.releaseId == m_installedRelease && !m_options.force) {
        printLine(QStringLiteral("up to date: %1").arg(manifest.releaseId));
        finish(ExitOk);
        return;
    }

    m_engine = new UpdateEngine(m_network, this);
    // A server that serves something else than its objects is left for the next one.
    m_engine->setServers(m_servers);
    if (!m_options.cacheDir.isEmpty())
        m_engine->setCacheRoot(m_options.cacheDir);
    connect(m_engine, &UpdateEngine::statusChanged, this, [this](const QString& status) {
        if (m_barShown) {
            std::fputc('\n', stderr);
            m_barShown = false;
        }
        printError(status);
    });
    connect(m_engine, &UpdateEngine::progressChanged, this,
            [this](qint64 completed, qint64 total) { onProgress(completed, total, QStringLiteral("download")); });
    connect(m_engine, &UpdateEngine::assemblyProgressChanged, this,
            [this](qint64 completed, qint64 total, const QString&) {
                onProgress(completed, total, QStringLiteral("apply"));
            });
    connect(m_engine, &UpdateEngine::ready, this, [this](const QString& releaseId) {
        if (m_barShown)
            std::fputc('\n', stderr);
        printLine(QStringLiteral("installed %1").arg(releaseId));
        finish(ExitOk);
    });
    connect(m_engine, &UpdateEngine::failedDetailed, this, [this](const QString& code, const QString& message) {
        if (m_barShown)
            std::fputc('\n', stderr);
        printError(QStringLiteral("%1: %2").arg(code, message));
        finish(ExitUpdateFailed);
    });
    connect(m_engine, &UpdateEngine::cancelled, this, [this] { finish(ExitCancelled); });
    printLine(QStringLiteral("installing %1 from %2 (installed: %3)")
                  .arg(manifest.releaseId, baseUrl, m_installedRelease));
    m_engine->start(manifest, baseUrl, m_options.gameDir, !m_options.ignoreRunningGame);
}

void HeadlessUpdate::onProgress(qint64 completed, qint64 total, const QString& stage)
{
    if (stage != m_stage) {
        m_stage = stage;
        m_stageClock.start();
        m_lastLine.invalidate();
        m_lastCompleted = -1;
    }
    const double seconds = m_stageClock.elapsed() / 1000.0;
    const double mib = completed / 1048576.0;
    const double totalMib = total / 1048576.0;
    const double speed = seconds > 0.0 ? mib / seconds : 0.0;
    const qint64 left = speed > 0 ? qint64((totalMib - mib) / speed) : -1;
    const int percent = total > 0 ? int(completed * 100 / total) : 100;

    if (m_terminal) {
        const int width = 30;
        const int filled = total > 0 ? int(completed * width / total) : width;
        std::fprintf(stderr, "\r%-8s [%s%s] %3d%%  %.1f/%.1f MB  %.1f MB/s  %s left   ",
                     qPrintable(stage), QByteArray(filled, '#').constData(),
                     QByteArray(width - filled, '.').constData(), percent, mib, totalMib, speed,
                     qPrintable(formatDuration(left)));
        std::fflush(stderr);
        m_barShown = true;
        return;
    }
    // Logs and pipes get a line every few seconds, not a bar.
    if (m_lastLine.isValid() && (completed == m_lastCompleted || (m_lastLine.elapsed() < 3000 && completed < total)))
        return;
    m_lastCompleted = completed;
    m_lastLine.start();
    printError(QStringLiteral("%1: %2% %3/%4 MB, %5 MB/s, %6 left")
                   .arg(stage)
                   .arg(percent)
                   .arg(mib, 0, 'f', 1)
                   .arg(totalMib, 0, 'f', 1)
                   .arg(speed, 0, 'f', 1)
                   .arg(formatDuration(left)));
}

void HeadlessUpdate::interrupt()
{
    if (m_engine && m_engine->isRunning()) {
        m_engine->cancel();
        return;
    }
    finish(ExitCancelled);
}

void HeadlessUpdate::finish(int exitCode)
{
    if (m_finished)
        return;
    m_finished = true;
    emit finished(exitCode);
}

} // namespace vorn
