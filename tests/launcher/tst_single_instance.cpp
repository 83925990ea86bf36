// Two real launcher processes: the second hands over to the first and exits.
#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

#include <csignal>
#include <memory>

class TestSingleInstance final : public QObject
{
    Q_OBJECT

private:
    QScopedPointer<QTemporaryDir> m_dir;
    QString m_program;

    std::unique_ptr<QProcess> startLauncher()
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("vorn.*.debug=true"));
        // The lock file and the socket live here, away from a launcher the developer runs.
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir->filePath(QStringLiteral("run")));
        env.insert(QStringLiteral("TMPDIR"), m_dir->filePath(QStringLiteral("run")));
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::SeparateChannels);
        process->start(m_program, QStringList());
        return process;
    }

    static bool waitForOutput(QProcess& process, QByteArray& log, const QByteArray& text, int ms)
    {
        QElapsedTimer timer;
        timer.start();
        while (!log.contains(text) && timer.elapsed() < ms) {
            process.waitForReadyRead(100);
            log += process.readAllStandardError();
            if (process.state() == QProcess::NotRunning)
                break;
        }
        log += process.readAllStandardError();
        return log.contains(text);
    }

    static void stop(QProcess& process)
    {
        process.kill();
        process.waitForFinished(5000);
    }

private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("run")));
        QDir(m_dir->path()).mkpath(QStringLiteral("run"));
        QFile::setPermissions(m_dir->filePath(QStringLiteral("run")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // A copy, so launcher.ini is written in the test's own folder.
        m_program = m_dir->filePath(QStringLiteral("VornLauncher"));
        QVERIFY(QFile::copy(QStringLiteral(VORN_LAUNCHER_PATH), m_program));
        QVERIFY(QFile::setPermissions(m_program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    void secondStartActivatesTheFirst()
    {
        std::unique_ptr<QProcess> first = startLauncher();
        QByteArray firstLog;
        QVERIFY2(waitForOutput(*first, firstLog, "listening for activation requests", 10000),
                 firstLog.constData());

        QSettings ini(m_dir->filePath(QStringLiteral("launcher.ini")), QSettings::IniFormat);
        QCOMPARE(ini.allKeys().size(), 20);

        QElapsedTimer timer;
        timer.start();
        std::unique_ptr<QProcess> second = startLauncher();
        QVERIFY(second->waitForFinished(3000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QVERIFY(timer.elapsed() < 3000);
        QVERIFY(second->readAllStandardError().contains("activation acknowledged: true"));

        QVERIFY2(waitForOutput(*first, firstLog, "bringing the window to the front", 3000),
                 firstLog.constData());
        QCOMPARE(first->state(), QProcess::Running);
        stop(*first);
    }

    void lockOfACrashedLauncherIsTakenOver()
    {
        std::unique_ptr<QProcess> crashed = startLauncher();
        QByteArray log;
        QVERIFY(waitForOutput(*crashed, log, "listening for activation requests", 10000));
        ::kill(pid_t(crashed->processId()), SIGKILL);
        crashed->waitForFinished(5000);

        std::unique_ptr<QProcess> next = startLauncher();
        QByteArray nextLog;
        QVERIFY2(waitForOutput(*next, nextLog, "listening for activation requests", 10000),
                 nextLog.constData());
        QVERIFY(nextLog.contains("first: true"));
        stop(*next);
    }

    void noWindowYetMeansQuietExit()
    {
        // The lock is held but nobody listens: the second start must not wait or show anything.
        QLockFile lock(m_dir->filePath(QStringLiteral("run/VORN_Launcher_Single_Instance_v1-%1.lock")
                                           .arg(::getuid())));
        QVERIFY(lock.tryLock(0));
        std::unique_ptr<QProcess> second = startLauncher();
        QVERIFY(second->waitForFinished(3000));
        QCOMPARE(second->exitCode(), 0);
        QVERIFY(second->readAllStandardError().contains("no running window to activate"));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
