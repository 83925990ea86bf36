#include "launcher/display_scale.h"

#include <QtTest>

#include <string>

using namespace vorn;

class TestDisplayScale final : public QObject
{
    Q_OBJECT

private slots:
    // Only a stated Xft.dpi lets fractional factors through, so anything else must read as 0.
    void xftDpi_data()
    {
        QTest::addColumn<QString>("resources");
        QTest::addColumn<int>("dpi");
        QTest::newRow("GNOME at 150 %") << "Xcursor.size:\t24\nXft.dpi:\t144\nXft.hinting:\t1\n" << 144;
        QTest::newRow("first line, no tab") << "Xft.dpi: 120" << 120;
        QTest::newRow("with a fraction") << "Xft.antialias:\t1\nXft.dpi:\t192.0\n" << 192;
        QTest::newRow("none") << "Xcursor.theme:\tAdwaita\n" << 0;
        QTest::newRow("empty database") << "" << 0;
        QTest::newRow("empty value") << "Xft.dpi:\n" << 0;
        QTest::newRow("not a number") << "Xft.dpi:\thigh\n" << 0;
        QTest::newRow("another program's dpi") << "XTerm.Xft.dpi:\t200\n" << 0;
        QTest::newRow("absurdly long number") << "Xft.dpi:\t99999999999999999999\n" << 0;
    }

    void xftDpi()
    {
        QFETCH(QString, resources);
        QFETCH(int, dpi);
        const std::string text = resources.toStdString();
        QCOMPARE(xftDpiFromResources(text), dpi);
    }
};

QTEST_APPLESS_MAIN(TestDisplayScale)
#include "tst_display_scale.moc"
