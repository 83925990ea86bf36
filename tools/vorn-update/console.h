#pragma once

#include <QObject>

namespace vorn {

// Turns Ctrl+C / termination requests into a Qt signal on the main thread.
class InterruptNotifier final : public QObject
{
    Q_OBJECT
public:
    explicit InterruptNotifier(QObject* parent = nullptr);
    ~InterruptNotifier() override;

signals:
    void interrupted();
};

// Whether standard error is a terminal (a live progress bar) or a log (a line now and then).
[[nodiscard]] bool stderrIsTerminal();

} // namespace vorn
