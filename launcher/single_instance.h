#pragma once

#include <QObject>

#include <memory>

class QByteArray;
class QWidget;

namespace vorn {

// Activation handshake between a second start and the running launcher.
constexpr quint32 kActivationRequest = 0x84B6;
constexpr quint32 kActivationAcknowledge = 0xB5F6;
constexpr int kActivationTimeoutMs = 2000;

// Held for the whole life of the first instance.
class InstanceLock final
{
public:
    InstanceLock();
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    [[nodiscard]] bool isFirstInstance() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Second instance: asks the running launcher to come to the front. Never shows anything
// and never fails loudly; the caller exits with 0 afterwards.
void handOverToRunningInstance();

// First instance: receives activation requests where the platform does not deliver them
// to the window itself.
class ActivationListener final : public QObject
{
    Q_OBJECT
public:
    explicit ActivationListener(QObject* parent = nullptr);
    ~ActivationListener() override;

signals:
    void activationRequested();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// True when message is an activation request; *result then holds the acknowledgement.
[[nodiscard]] bool answerActivationMessage(const QByteArray& eventType, void* message, long* result);

// Forces the window to the foreground beyond what Qt's raise/activate can do.
void bringNativeWindowToFront(QWidget* window);

} // namespace vorn
