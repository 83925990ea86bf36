// The step from controller state to what the window shows, and the footer's progress reading,
// checked without widgets or clocks.
#include "config/localization.h"
#include "launcher/view_state.h"

#include <QtTest>

#include <functional>

using namespace vorn;

Q_DECLARE_METATYPE(vorn::ControllerState)

namespace {

constexpr qint64 kMiB = 1048576;

struct Signal
{
    qint64 completed;
    qint64 total;
    qint64 nowMs;
    QString shown; // empty: held back by the gate
};

ControllerState readyState()
{
    ControllerState state;
    state.profiles = {{QStringLiteral("legacy"), QStringLiteral("Legacy"), QStringLiteral("bin/vorn.exe"), QString()},
                      {QStringLiteral("modern"), QStringLiteral("Modern"), QStringLiteral("System/vorn.exe"), QString()}};
    state.selectedProfile = QStringLiteral("legacy");
    state.clientFound = true;
    return state;
}

ControllerState with(const std::function<void(ControllerState&)>& change)
{
    ControllerState state = readyState();
    change(state);
    return state;
}

} // namespace

Q_DECLARE_METATYPE(QVector<Signal>)

class TestViewState final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { (void)loadCatalogues(QStringLiteral("en"), QStringLiteral(VORN_LOCALES_DIR)); }

    void buttons_data()
    {
        QTest::addColumn<ControllerState>("state");
        QTest::addColumn<bool>("checkVisible");
        QTest::addColumn<bool>("checkEnabled");
        QTest::addColumn<QString>("checkToolTip");
        QTest::addColumn<QString>("pauseToolTip");
        QTest::addColumn<bool>("playEnabled");

        QTest::newRow("idle, client installed") << readyState() << true << true << "Check" << "Pause" << true;
        QTest::newRow("client file missing") << with([](ControllerState& s) { s.clientFound = false; })
                                             << true << true << "Check" << "Pause" << false;
        QTest::newRow("nothing selected") << with([](ControllerState& s) { s.selectedProfile.clear(); })
                                          << true << true << "Check" << "Pause" << false;
        QTest::newRow("foreground check") << with([](ControllerState& s) { s.checking = true; })
                                          << true << false << "Check" << "Pause" << true;
        QTest::newRow("update available") << with([](ControllerState& s) { s.updatePending = true; })
                                          << true << true << "Update" << "Pause" << true;
        QTest::newRow("downloading, background check")
            << with([](ControllerState& s) {
                   s.engineRunning = s.updatePending = s.checking = s.backgroundCheck = true;
               })
            << false << false << "Update" << "Pause" << false;
        QTest::newRow("paused") << with([](ControllerState& s) { s.engineRunning = s.paused = true; })
                                << false << false << "Check" << "Resume" << false;
        QTest::newRow("waiting for the game") << with([](ControllerState& s) {
            s.waitingForGameExit = s.updatePending = true;
        }) << true << false << "Update" << "Pause" << true;
        QTest::newRow("launcher updating itself") << with([](ControllerState& s) { s.selfUpdateBusy = true; })
                                                  << true << false << "Check" << "Pause" << false;
    }

    void buttons()
    {
        QFETCH(ControllerState, state);
        const MainViewModel model = computeViewModel(state);
        QTEST(model.checkVisible, "checkVisible");
        QCOMPARE(model.pauseVisible, !model.checkVisible);
        QTEST(model.checkEnabled, "checkEnabled");
        QTEST(model.checkToolTip, "checkToolTip");
        QTEST(model.pauseToolTip, "pauseToolTip");
        QCOMPARE(model.pauseShowsResume, state.paused);
        QTEST(model.playEnabled, "playEnabled");
    }

    void profileOptions()
    {
        ControllerState state = readyState();
        state.profiles.removeLast();
        state.profiles.prepend({QStringLiteral("hd"), QStringLiteral("HD"), QStringLiteral("hd.exe"), QString()});
        MainViewModel model = computeViewModel(state);
        QCOMPARE(model.profiles.size(), 2);
        QVERIFY(model.legacyOptionVisible && model.legacyOptionChecked);
        QVERIFY(!model.modernOptionVisible);

        state.selectedProfile = QStringLiteral("hd");
        model = computeViewModel(state);
        QCOMPARE(model.selectedProfile, QStringLiteral("hd"));
        QVERIFY(!model.legacyOptionChecked);
    }

    void textsAreTranslatedWhenShown()
    {
        ControllerState state = readyState();
        state.status = translateLater("Main/UpdateAvailable", "Update %1 is available").arg(QStringLiteral("r2"));
        // A release id is shown as it is, even one that looks like a placeholder.
        state.release = translateLater("Main/FollowUpStarting", "Release %1 is finished. Starting %2")
                            .arg(QStringLiteral("r%2"))
                            .arg(QStringLiteral("r3"));
        QCOMPARE(computeViewModel(state).status, QStringLiteral("Update r2 is available"));
        QVERIFY(computeViewModel(state).release.startsWith(QLatin1String("Release r%2 is finished")));
        QVERIFY(computeViewModel(state).release.contains(QLatin1String("release r3 without")));

        (void)loadCatalogues(QStringLiteral("ru"), QStringLiteral(VORN_LOCALES_DIR));
        const QString russian = computeViewModel(state).status;
        (void)loadCatalogues(QStringLiteral("en"), QStringLiteral(VORN_LOCALES_DIR));
        QCOMPARE(russian, QStringLiteral("Доступно обновление r2"));
    }

    void durations_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("negative") << qint64(-5) << "0:00";
        QTest::newRow("under a minute") << qint64(59) << "0:59";
        QTest::newRow("ninety seconds") << qint64(90) << "1:30";
        QTest::newRow("an hour") << qint64(3600) << "1:00:00";
        QTest::newRow("hours pad minutes") << qint64(3725) << "1:02:05";
    }

    void durations()
    {
        QFETCH(qint64, seconds);
        QTEST(formatDuration(seconds), "text");
    }

    void speeds_data()
    {
        QTest::addColumn<double>("bytesPerSecond");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole KB/s") << 512000.0 << "500 KB/s";
        QTest::newRow("just below 1 MiB/s") << double(kMiB - 1) << "1024 KB/s";
        QTest::newRow("1 MiB/s") << double(kMiB) << "1.00 MB/s";
        QTest::newRow("two decimals") << 2.5 * kMiB << "2.50 MB/s";
    }

    void speeds()
    {
        QFETCH(double, bytesPerSecond);
        QTEST(formatSpeed(bytesPerSecond), "text");
    }

    void downloadReading_data()
    {
        QTest::addColumn<QVector<Signal>>("sequence");
        QTest::newRow("the gate lets the first, the final and one per 500 ms through")
            << QVector<Signal>{{0, 100 * kMiB, 0, "0.0/100.0 MB · — · —"},
                               {1 * kMiB, 100 * kMiB, 100, {}},
                               {2 * kMiB, 100 * kMiB, 499, {}},
                               {3 * kMiB, 100 * kMiB, 500, "3.0/100.0 MB · — · —"},
                               {100 * kMiB, 100 * kMiB, 600, "100.0/100.0 MB · — · —"}};
        QTest::newRow("speed from one-second samples, smoothed 3:1")
            << QVector<Signal>{{0, 10 * kMiB, 0, "0.0/10.0 MB · — · —"},
                               {1 * kMiB, 10 * kMiB, 1000, "1.0/10.0 MB · 1.00 MB/s · 0:09"},
                               {2 * kMiB, 10 * kMiB, 1500, "2.0/10.0 MB · 1.00 MB/s · 0:08"},
                               {3 * kMiB, 10 * kMiB, 2000, "3.0/10.0 MB · 1.25 MB/s · 0:05"}};
        QTest::newRow("shown bytes never go back")
            << QVector<Signal>{{0, 10 * kMiB, 0, "0.0/10.0 MB · — · —"},
                               {5 * kMiB, 10 * kMiB, 1000, "5.0/10.0 MB · 5.00 MB/s · 0:01"},
                               {4 * kMiB, 10 * kMiB, 2000, "5.0/10.0 MB · 5.00 MB/s · 0:01"}};
    }

    void downloadReading()
    {
        QFETCH(QVector<Signal>, sequence);
        ProgressMeter meter;
        meter.reset();
        for (const Signal& step : sequence) {
            const bool admitted = meter.admit(step.completed, step.total, step.nowMs);
            QCOMPARE(admitted, !step.shown.isEmpty());
            if (!admitted)
                continue;
            const ProgressMeter::Shown shown = meter.download(step.completed, step.total, step.nowMs);
            QCOMPARE(shown.status.toString(), step.shown);
            QVERIFY(shown.percent >= 0 && shown.percent <= 100);
        }
    }

    void assemblyReading()
    {
        QCOMPARE(ProgressMeter::assembly(50, 200, QString()).status.toString(),
                 QStringLiteral("Assembling and verifying files..."));
        const ProgressMeter::Shown shown = ProgressMeter::assembly(300, 200, QStringLiteral("data/a.pak"));
        QCOMPARE(shown.percent, 100);
        QCOMPARE(shown.status.toString(), QStringLiteral("Assembling files: 100% · data/a.pak"));
    }
};

QTEST_GUILESS_MAIN(TestViewState)
#include "tst_view_state.moc"
