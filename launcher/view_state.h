#pragma once

#include "core/types.h"
#include "launcher/shown_text.h"
#include "ui/main_view_model.h"

#include <QString>
#include <QVector>

class QTime;

namespace vorn {

// What the controller knows that the window shows: its flags, the texts it chose and what
// it last sampled of the disk (whether the selected client exists).
struct ControllerState
{
    ShownText status;
    ShownText release;
    int progressPercent = 0;

    bool checking = false;
    bool backgroundCheck = false;
    bool updatePending = false;
    bool waitingForGameExit = false;
    bool engineRunning = false;
    bool pauseEnabled = false;
    bool paused = false;
    // The launcher's own release check, when not silent, holds the game side; its download
    // runs in the background.
    bool selfUpdateBusy = false;

    QVector<LaunchProfile> profiles;
    QString selectedProfile;
    bool clientFound = false;

    bool useMirror = false;
    bool mirrorSelectable = false;
    bool proxyEnabled = false;
};

// The one step from controller state to what the window shows; translates as it goes.
[[nodiscard]] MainViewModel computeViewModel(const ControllerState& state);

// "850 KB/s" below 1 MiB/s, "1.25 MB/s" from there.
[[nodiscard]] QString formatSpeed(double bytesPerSecond);
// "1:30", "1:02:05"; negative counts as zero.
[[nodiscard]] QString formatDuration(qint64 seconds);
// "[14:03:59] [UPD-START] message", always one line.
[[nodiscard]] QString formatLogLine(const QTime& time, const QString& tag, const QString& message);

// The footer's reading of progress signals: at most one shown every 500 ms (except the
// first, an empty and the final one) and a download speed smoothed over one-second samples.
// Times are passed in, in milliseconds of one steady clock, so the arithmetic can be checked
// without waiting.
class ProgressMeter
{
public:
    struct Shown
    {
        ShownText status;
        int percent = 0;
    };

    // A new update: the next shown download signal starts the speed estimate afresh.
    void reset();
    // Whether a signal is shown; a shown one restarts the 500 ms wait.
    [[nodiscard]] bool admit(qint64 completed, qint64 total, qint64 nowMs);
    // For an admitted download signal.
    [[nodiscard]] Shown download(qint64 completed, qint64 total, qint64 nowMs);
    // For an admitted assembly signal.
    [[nodiscard]] static Shown assembly(qint64 completed, qint64 total, const QString& currentFile);

private:
    qint64 m_throttleMs = -1;
    qint64 m_speedStartMs = -1;
    qint64 m_shownBytes = 0;
    qint64 m_sampleBytes = 0;
    qint64 m_sampleTimeMs = 0;
    double m_smoothed = 0.0;
};

} // namespace vorn
