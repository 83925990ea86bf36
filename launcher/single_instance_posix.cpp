#include "launcher/single_instance.h"

#include <QByteArray>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <unistd.h>

namespace vorn {

// Quiet unless asked for (QT_LOGGING_RULES="vorn.*.debug=true"): players see no console.
Q_LOGGING_CATEGORY(lcInstance, "vorn.instance", QtInfoMsg)

namespace {

// The user id keeps two users of one machine from seeing each other's launcher.
QString instanceName()
{
    return QStringLiteral("VORN_Launcher_Single_Instance_v1-%1").arg(::getuid());
}

QString lockFilePath()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return QDir(folder).filePath(instanceName() + QStringLiteral(".lock"));
}

QByteArray encodeNumber(quint32 number)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << number;
    return bytes;
}

quint32 decodeNumber(const QByteArray& bytes)
{
    QDataStream stream(bytes);
    quint32 number = 0;
    stream >> number;
    return number;
}

} // namespace

struct InstanceLock::Impl
{
    QLockFile lock{lockFilePath()};
    bool first = false;
};

InstanceLock::InstanceLock()
    : d(std::make_unique<Impl>())
{
    // A lock left by a crashed launcher is stale (its process is gone) and taken over.
    d->first = d->lock.tryLock(0);
    if (!d->first && d->lock.error() != QLockFile::LockFailedError)
        d->first = true; // cannot create the lock at all: run rather than refuse to start
    qCDebug(lcInstance) << "instance lock" << lockFilePath() << "first:" << d->first;
}

InstanceLock::~InstanceLock() = default;

bool InstanceLock::isFirstInstance() const
{
    return d->first;
}

void handOverToRunningInstance()
{
    QLocalSocket socket;
    socket.connectToServer(instanceName());
    if (!socket.waitForConnected(kActivationTimeoutMs)) {
        qCDebug(lcInstance) << "no running window to activate";
        return;
    }
    socket.write(encodeNumber(kActivationRequest));
    socket.flush();
    QByteArray answer;
    QElapsedTimer elapsed;
    elapsed.start();
    while (answer.size() < 4 && elapsed.elapsed() < kActivationTimeoutMs) {
        if (!socket.waitForReadyRead(int(kActivationTimeoutMs - elapsed.elapsed())))
            break;
        answer += socket.read(4 - answer.size());
    }
    const bool acknowledged = answer.size() == 4 && decodeNumber(answer) == kActivationAcknowledge;
    qCDebug(lcInstance) << "activation acknowledged:" << acknowledged;
}

struct ActivationListener::Impl
{
    QLocalServer server;
};

ActivationListener::ActivationListener(QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Impl>())
{
    // We hold the instance lock, so a socket of that name is left over from a crash.
    QLocalServer::removeServer(instanceName());
    d->server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!d->server.listen(instanceName())) {
        qCWarning(lcInstance) << "cannot listen for activation requests:" << d->server.errorString();
        return;
    }
    qCDebug(lcInstance) << "listening for activation requests";
    connect(&d->server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = d->server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->bytesAvailable() < 4)
                    return;
                if (decodeNumber(socket->read(4)) != kActivationRequest) {
                    socket->disconnectFromServer();
                    return;
                }
                qCDebug(lcInstance) << "activation request received";
                emit activationRequested();
                socket->write(encodeNumber(kActivationAcknowledge));
                socket->flush();
                socket->disconnectFromServer();
            });
        }
    });
}

ActivationListener::~ActivationListener() = default;

bool answerActivationMessage(const QByteArray&, void*, long*)
{
    return false;
}

void bringNativeWindowToFront(QWidget*)
{
}

} // namespace vorn
