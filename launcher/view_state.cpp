#include "launcher/view_state.h"

#include "config/localization.h"

#include <QDir>
#include <QTime>

#include <algorithm>

namespace vorn {

namespace {

constexpr qint64 kMiB = 1048576;
constexpr qint64 kGateMs = 500;
constexpr qint64 kSampleMs = 1000;
const QChar kDash(0x2014);

const LaunchProfile* findProfile(const QVector<LaunchProfile>& profiles, const QString& id)
{
    for (const LaunchProfile& profile : profiles) {
        if (profile.id == id)
            return &profile;
    }
    return nullptr;
}

} // namespace

MainViewModel computeViewModel(const ControllerState& state)
{
    MainViewModel model;
    model.status = state.status.toString();
    model.release = state.release.toString();
    model.progress = std::clamp(state.progressPercent, 0, 100);
    model.percentText = QStringLiteral("%1%").arg(model.progress);

    model.checkVisible = !state.engineRunning;
    model.checkEnabled = !state.engineRunning && !(state.checking && !state.backgroundCheck)
                         && !state.waitingForGameExit && !state.selfUpdateBusy;
    model.checkToolTip = state.updatePending ? translate("Main/Update", "Update")
                                             : translate("Main/Check", "Check");
    model.pauseVisible = state.engineRunning;
    model.pauseEnabled = state.engineRunning && state.pauseEnabled;
    model.pauseShowsResume = state.paused;
    model.pauseToolTip = state.paused ? translate("Main/Resume", "Resume")
                                      : translate("Main/Pause", "Pause");

    const LaunchProfile* selected = findProfile(state.profiles, state.selectedProfile);
    model.playEnabled = !state.engineRunning && !state.selfUpdateBusy && selected
                        && !selected->executable.isEmpty() && state.clientFound;

    for (const LaunchProfile& profile : state.profiles)
        model.profiles.append({profile.id, profile.title});
    model.selectedProfile = selected ? selected->id : QString();
    model.modernOptionVisible = findProfile(state.profiles, QStringLiteral("modern")) != nullptr;
    model.legacyOptionVisible = findProfile(state.profiles, QStringLiteral("legacy")) != nullptr;
    model.legacyOptionChecked = model.selectedProfile == QLatin1String("legacy");

    model.mirrorChecked = state.useMirror;
    model.mirrorEnabled = state.mirrorSelectable;
    model.proxyChecked = state.proxyEnabled;
    return model;
}

QString formatSpeed(double bytesPerSecond)
{
    if (bytesPerSecond < double(kMiB))
        return QStringLiteral("%1 KB/s").arg(bytesPerSecond / 1024.0, 0, 'f', 0);
    return QStringLiteral("%1 MB/s").arg(bytesPerSecond / double(kMiB), 0, 'f', 2);
}

QString formatDuration(qint64 seconds)
{
    seconds = std::max<qint64>(seconds, 0);
    const qint64 h = seconds / 3600;
    const qint64 m = (seconds - h * 3600) / 60;
    const qint64 s = seconds % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

QString formatLogLine(const QTime& time, const QString& tag, const QString& message)
{
    // One entry, one line: a server text with line breaks must not pass for further entries.
    const auto oneLine = [](QString text) {
        for (QChar& c : text) {
            if (c.category() == QChar::Other_Control || c == QChar::LineSeparator
                || c == QChar::ParagraphSeparator)
                c = QLatin1Char(' ');
        }
        return text;
    };
    return QStringLiteral("[%1] [%2] %3")
        .arg(time.toString(QStringLiteral("HH:mm:ss")), oneLine(tag), oneLine(message));
}

void ProgressMeter::reset()
{
    m_speedStartMs = -1;
    m_shownBytes = 0;
    m_sampleBytes = 0;
    m_sampleTimeMs = 0;
    m_smoothed = 0.0;
}

bool ProgressMeter::admit(qint64 completed, qint64 total, qint64 nowMs)
{
    const bool held = completed > 0 && total > 0 && completed < total && m_throttleMs >= 0
                      && nowMs - m_throttleMs < kGateMs;
    if (held)
        return false;
    m_throttleMs = nowMs;
    return true;
}

ProgressMeter::Shown ProgressMeter::download(qint64 completed, qint64 total, qint64 nowMs)
{
    if (m_speedStartMs < 0) {
        m_speedStartMs = nowMs;
        m_shownBytes = m_sampleBytes = std::max<qint64>(completed, 0);
        m_sampleTimeMs = 0;
        m_smoothed = 0.0;
    }
    const qint64 now = nowMs - m_speedStartMs;
    m_shownBytes = std::max(m_shownBytes, completed);

    QString speed(kDash);
    QString remaining(kDash);
    if (m_shownBytes < total) {
        if (now - m_sampleTimeMs >= kSampleMs && m_shownBytes - m_sampleBytes > 0) {
            const double rate = double(m_shownBytes - m_sampleBytes) * 1000.0 / double(now - m_sampleTimeMs);
            if (rate > 0)
                m_smoothed = m_smoothed <= 0 ? rate : m_smoothed * 0.75 + rate * 0.25;
            m_sampleBytes = m_shownBytes;
            m_sampleTimeMs = now;
        }
        if (m_smoothed > 0) {
            speed = formatSpeed(m_smoothed);
            remaining = formatDuration(qint64(double(total - m_shownBytes) / m_smoothed));
        }
    }

    Shown shown;
    shown.status = translateLater("Main/DownloadDetailed", "%1/%2 MB · %3 · %4")
                       .arg(QString::number(double(m_shownBytes) / kMiB, 'f', 1))
                       .arg(QString::number(double(total) / kMiB, 'f', 1))
                       .arg(speed)
                       .arg(remaining);
    shown.percent = total > 0 ? int(m_shownBytes * 100 / total) : 0;
    return shown;
}

ProgressMeter::Shown ProgressMeter::assembly(qint64 completed, qint64 total, const QString& currentFile)
{
    Shown shown;
    shown.percent = total > 0 ? int(std::clamp<qint64>(completed * 100 / total, 0, 100)) : 0;
    shown.status = currentFile.isEmpty()
        ? translateLater("Updater/Assembling", "Assembling and verifying files...")
        : translateLater("Updater/AssemblingDetailed", "Assembling files: %1% · %2")
              .arg(QString::number(shown.percent))
              .arg(QDir::toNativeSeparators(currentFile));
    return shown;
}

} // namespace vorn
