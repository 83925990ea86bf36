#pragma once

#include "core/types.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

namespace vorn {

class NetworkService;
class ReleaseIndexClient;
class UpdateEngine;

struct HeadlessOptions
{
    QString configPath;
    QString keyPath;
    QString gameDir;
    QString cacheDir;
    bool checkOnly = false;
    bool force = false;
    bool retry = false;
    bool verbose = false;
    bool ignoreRunningGame = false;
    double rateLimitMBps = 0;
    QString proxy;       // "system", "direct" or HOST:PORT
    QString proxyUser;   // password from VORN_PROXY_PASSWORD
};

// Exit codes of vorn-update.
enum HeadlessExit : int {
    ExitOk = 0,
    ExitUpdateFailed = 1,
    ExitConfiguration = 2,
    ExitNoServer = 3,
    ExitCancelled = 130,
};

// Check, and unless only checking, install: one run of the headless updater. Emits finished
// exactly once with the exit code.
class HeadlessUpdate final : public QObject
{
    Q_OBJECT
public:
    explicit HeadlessUpdate(HeadlessOptions options, QObject* parent = nullptr);
    ~HeadlessUpdate() override;

    void start();
    void interrupt();

signals:
    void finished(int exitCode);

private:
    void onManifest(const vorn::Manifest& manifest, const QString& baseUrl);
    void onCheckFailed(const QString& message);
    void onProgress(qint64 completed, qint64 total, const QString& stage);
    void finish(int exitCode);

    HeadlessOptions m_options;
    NetworkService* m_network = nullptr;
    ReleaseIndexClient* m_index = nullptr;
    UpdateEngine* m_engine = nullptr;
    QString m_installedRelease;
    QStringList m_servers;
    QElapsedTimer m_stageClock;
    QElapsedTimer m_lastLine;
    QString m_stage;
    qint64 m_lastCompleted = -1;
    bool m_terminal = false;
    bool m_finished = false;
    bool m_barShown = false;
};

// "none" when the folder holds no readable installed manifest.
[[nodiscard]] QString installedReleaseId(const QString& gameDir);

} // namespace vorn
