#include "engine/free_space.h"

#include <QtTest>

using namespace vorn;

Q_DECLARE_METATYPE(vorn::VolumeSpace)

namespace {

constexpr qint64 MiB = 1024 * 1024;
constexpr qint64 GiB = 1024 * MiB;
constexpr qint64 kReserve = 64 * MiB;

VolumeSpace volume(const char* device, qint64 available)
{
    VolumeSpace space;
    space.valid = true;
    space.device = device;
    space.bytesAvailable = available;
    return space;
}

const VolumeSpace kInvalid;

} // namespace

class TestFreeSpace final : public QObject
{
    Q_OBJECT

private slots:
    void check_data()
    {
        QTest::addColumn<qint64>("download");
        QTest::addColumn<qint64>("files");
        QTest::addColumn<VolumeSpace>("cache");
        QTest::addColumn<VolumeSpace>("game");
        QTest::addColumn<bool>("enough");
        QTest::addColumn<qint64>("required");
        QTest::addColumn<qint64>("available");

        // One volume: only the larger of the two amounts plus the reserve must fit.
        QTest::newRow("shared, files larger, just fits")
            << 1 * GiB << 3 * GiB << volume("/dev/a", 3 * GiB + kReserve)
            << volume("/dev/a", 3 * GiB + kReserve) << true << 3 * GiB + kReserve << 3 * GiB + kReserve;
        QTest::newRow("shared, one byte short")
            << 1 * GiB << 3 * GiB << volume("/dev/a", 3 * GiB + kReserve - 1)
            << volume("/dev/a", 3 * GiB + kReserve - 1) << false << 3 * GiB + kReserve
            << 3 * GiB + kReserve - 1;
        QTest::newRow("shared, download larger")
            << 5 * GiB << 2 * GiB << volume("/dev/a", 4 * GiB) << volume("/dev/a", 4 * GiB) << false
            << 5 * GiB + kReserve << 4 * GiB;
        // Two volumes: each with its own figure.
        QTest::newRow("separate, both fit")
            << 1 * GiB << 3 * GiB << volume("/dev/a", 1 * GiB + kReserve)
            << volume("/dev/b", 3 * GiB + kReserve) << true << 3 * GiB + kReserve << 3 * GiB + kReserve;
        QTest::newRow("separate, cache short")
            << 2 * GiB << 1 * GiB << volume("/dev/a", 1 * GiB) << volume("/dev/b", 100 * GiB) << false
            << 2 * GiB + kReserve << 1 * GiB;
        QTest::newRow("separate, game short")
            << 1 * GiB << 3 * GiB << volume("/dev/a", 100 * GiB) << volume("/dev/b", 2 * GiB) << false
            << 3 * GiB + kReserve << 2 * GiB;
        QTest::newRow("separate, both short: the cache is named")
            << 2 * GiB << 3 * GiB << volume("/dev/a", 1 * GiB) << volume("/dev/b", 1 * GiB) << false
            << 2 * GiB + kReserve << 1 * GiB;
        // Unknown volumes never stop an update.
        QTest::newRow("cache unknown, game fits")
            << 100 * GiB << 1 * GiB << kInvalid << volume("/dev/b", 2 * GiB) << true
            << 1 * GiB + kReserve << 2 * GiB;
        QTest::newRow("cache unknown, game short")
            << 1 * GiB << 3 * GiB << kInvalid << volume("/dev/b", 1 * GiB) << false
            << 3 * GiB + kReserve << 1 * GiB;
        QTest::newRow("game unknown, cache short")
            << 3 * GiB << 1 * GiB << volume("/dev/a", 1 * GiB) << kInvalid << false
            << 3 * GiB + kReserve << 1 * GiB;
        QTest::newRow("both unknown") << 100 * GiB << 100 * GiB << kInvalid << kInvalid << true
                                      << 100 * GiB + kReserve << qint64(-1);
        QTest::newRow("nothing to do, no room at all")
            << qint64(0) << qint64(0) << volume("/dev/a", 0) << volume("/dev/a", 0) << false
            << kReserve << qint64(0);
    }

    void check()
    {
        QFETCH(qint64, download);
        QFETCH(qint64, files);
        QFETCH(VolumeSpace, cache);
        QFETCH(VolumeSpace, game);
        QFETCH(bool, enough);
        QFETCH(qint64, required);
        QFETCH(qint64, available);
        const FreeSpaceCheck result = checkFreeSpace(download, files, cache, game);
        QCOMPARE(result.enough, enough);
        QCOMPARE(result.requiredBytes, required);
        QCOMPARE(result.availableBytes, available);
    }

    void messageShowsGigabytesWithOneDecimal()
    {
        FreeSpaceCheck check;
        check.enough = false;
        check.requiredBytes = 3 * GiB + kReserve;
        check.availableBytes = GiB / 4;
        QCOMPARE(noDiskSpaceMessage(check),
                 QStringLiteral("Not enough free disk space. Required: 3.1 GB; available: 0.3 GB"));
    }

    void realFolderHasAVolume()
    {
        const VolumeSpace space = volumeSpace(QDir::tempPath());
        QVERIFY(space.valid);
        QVERIFY(!space.device.isEmpty());
        QVERIFY(space.bytesAvailable >= 0);
    }
};

QTEST_GUILESS_MAIN(TestFreeSpace)
#include "tst_free_space.moc"
