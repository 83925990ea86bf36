#pragma once

// What the engine benchmarks share: publishing a release once, serving it with nginx on
// loopback, and timing one UpdateEngine run.
#include "bench/bench_common.h"
#include "core/manifest.h"
#include "core/repository_layout.h"
#include "engine/update_engine.h"
#include "net/network_service.h"
#include "publish/publisher.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QString>

#include <cstdio>

namespace vorn::bench {

inline const QString kScripts = QStringLiteral(VORN_SOURCE_DIR "/scripts");

struct RunTimes
{
    bool ok = false;
    QString error;
    qint64 totalNs = 0;
    qint64 applyNs = 0; // from the first assembly progress to ready
};

inline Manifest readManifest(const QString& repo, const QString& releaseId)
{
    Manifest manifest;
    if (!loadManifest(repo + QStringLiteral("/manifests/%1.json").arg(releaseId), &manifest))
        qFatal("cannot read manifest %s", qPrintable(releaseId));
    return manifest;
}

// The objects of a manifest, each once, in manifest order.
inline QVector<ManifestChunk> distinctObjects(const Manifest& manifest)
{
    QSet<QByteArray> seen;
    QVector<ManifestChunk> objects;
    for (const ManifestFile& file : manifest.files) {
        for (const ManifestChunk& chunk : file.chunks) {
            if (!seen.contains(chunk.blobSha256)) {
                seen.insert(chunk.blobSha256);
                objects.append(chunk);
            }
        }
    }
    return objects;
}

inline RunTimes runEngine(NetworkService* network, const Manifest& manifest, const QString& baseUrl,
                          const QString& game, const QString& cache)
{
    UpdateEngine engine(network);
    engine.setCacheRoot(cache);
    RunTimes times;
    QElapsedTimer clock;
    qint64 applyStart = -1;
    QEventLoop loop;
    QObject::connect(&engine, &UpdateEngine::assemblyProgressChanged, &loop, [&] {
        if (applyStart < 0)
            applyStart = clock.nsecsElapsed();
    });
    QObject::connect(&engine, &UpdateEngine::ready, &loop, [&] {
        times.ok = true;
        loop.quit();
    });
    QObject::connect(&engine, &UpdateEngine::failedDetailed, &loop,
                     [&](const QString& code, const QString& message) {
                         times.error = code + QStringLiteral(": ") + message;
                         loop.quit();
                     });
    clock.start();
    engine.start(manifest, baseUrl, game, false);
    loop.exec();
    times.totalNs = clock.nsecsElapsed();
    times.applyNs = applyStart >= 0 ? times.totalNs - applyStart : 0;
    return times;
}

// Publishes source as release id into repo unless that release is already there.
inline bool publishOnce(const QString& source, const QString& repo, const QString& keys,
                        const QString& id, const ChunkingOptions& chunking = ChunkingOptions())
{
    if (QFileInfo::exists(repo + QStringLiteral("/manifests/%1.json").arg(id)))
        return true;
    publish::ReleaseOptions options;
    options.sourceDir = source;
    options.repoDir = repo;
    options.privateKeyPath = keys + QStringLiteral("/release-private.pem");
    options.releaseId = id;
    options.chunking = chunking;
    QString error;
    if ((!QFileInfo::exists(options.privateKeyPath) && !publish::generateKeyFiles(keys, 3072, &error))
        || !publish::publishRelease(options, nullptr, &error)) {
        std::fprintf(stderr, "publish %s: %s\n", qPrintable(id), qPrintable(error));
        return false;
    }
    return true;
}

// Fetches every object into folder (named <blobSha256 hex>.bin) with one curl process, four
// transfers at a time over reused connections. Wall time in nanoseconds, or -1.
inline qint64 curlFetchNs(const QVector<ManifestChunk>& objects, const QString& baseUrl,
                          const QString& folder, const QString& authorityFile = QString())
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    QFile config(folder + QStringLiteral(".curlrc"));
    if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return -1;
    for (const ManifestChunk& object : objects) {
        config.write("url = \"" + (baseUrl + objectRelativePath(object.blobSha256)).toUtf8() + "\"\n");
        config.write("output = \"" + QFile::encodeName(folder) + '/' + object.blobSha256.toHex()
                     + ".bin\"\n");
    }
    config.close();
    // The parallel progress meter ignores --silent.
    QString command = QStringLiteral("curl --parallel --parallel-max 4 --fail --no-progress-meter");
    if (!authorityFile.isEmpty())
        command += QStringLiteral(" --cacert '%1'").arg(authorityFile);
    return timeCommand(command + QStringLiteral(" --config '%1' >/dev/null").arg(config.fileName()));
}

inline QString freePort()
{
    QProcess p;
    p.start(kScripts + QStringLiteral("/free-port"), QStringList());
    p.waitForFinished();
    return QString::fromLatin1(p.readAllStandardOutput()).trimmed();
}

// nginx serving root on a free loopback port until destroyed; HTTPS when given a certificate.
class Nginx
{
public:
    Nginx(const QString& root, const QString& runDir, const QString& certificate = QString(),
          const QString& key = QString())
        : m_run(runDir), m_port(freePort())
    {
        QStringList args{QStringLiteral("start"), root, m_port, m_run};
        if (!certificate.isEmpty())
            args << certificate << key;
        m_ok = !m_port.isEmpty() && QProcess::execute(kScripts + QStringLiteral("/nginx-serve"), args) == 0;
    }
    ~Nginx() { QProcess::execute(kScripts + QStringLiteral("/nginx-serve"), {QStringLiteral("stop"), m_run}); }
    Nginx(const Nginx&) = delete;
    Nginx& operator=(const Nginx&) = delete;

    [[nodiscard]] bool ok() const { return m_ok; }
    [[nodiscard]] quint16 port() const { return m_port.toUShort(); }

private:
    QString m_run;
    QString m_port;
    bool m_ok = false;
};

} // namespace vorn::bench
