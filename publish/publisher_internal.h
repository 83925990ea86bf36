// What the publisher's commands share: error text, whole-file reads, the parallel map, and the
// signing of the next channel pointer (read the live one, continue its sequence, switch the pair).
#pragma once

#include "core/channel_pointer.h"
#include "publish/release_keys.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QtConcurrent>

#include <atomic>
#include <string>

namespace vorn::publish {

inline void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

inline QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

[[nodiscard]] bool readWholeFile(const QString& path, QByteArray* bytes, QString* error);

inline QString manifestRelativePath(const QString& releaseId)
{
    return QStringLiteral("manifests/%1.json").arg(releaseId);
}

// Runs work on every item on every core. After the first failure the remaining items are
// skipped, and that failure's text is the error.
template <typename Sequence, typename Work>
bool mapUntilFailure(Sequence& items, Work work, QString* error)
{
    QMutex failureMutex;
    QString firstFailure;
    std::atomic<bool> failed{false};
    QtConcurrent::blockingMap(items, [&](typename Sequence::value_type& item) {
        if (failed.load())
            return;
        QString failure;
        if (!work(item, &failure)) {
            QMutexLocker lock(&failureMutex);
            if (!failed.exchange(true))
                firstFailure = failure;
        }
    });
    if (failed.load())
        setError(error, firstFailure);
    return !failed.load();
}

// All that signing the next channel pointer needs, gathered before any work is done.
struct PointerSigning
{
    ReleaseKey key;
    QList<QByteArray> trustedKeys; // the signing key's public half first
    bool hadPointer = false;
    ChannelPointer current;
    QDateTime expiresUtc;
};

// Loads the key, the keys a current pointer may be signed by, that pointer and the new expiry.
[[nodiscard]] bool preparePointerSigning(const QDir& repo, const QString& privateKeyPath,
                                         const QStringList& trustedKeyPaths, int expiresInDays,
                                         PointerSigning* signing, QString* error);

// Replaces live.json and live.sig as a pair. Both are written in full before either takes its
// name, so the two renames follow each other at once; should the second fail, the first is put
// back, so that the pair on the server always matches. A client that reads the pair across the
// two renames reads it again.
[[nodiscard]] bool switchChannelPointer(const QDir& repo, const QByteArray& pointer,
                                        const QByteArray& signature, QString* error);

} // namespace vorn::publish
