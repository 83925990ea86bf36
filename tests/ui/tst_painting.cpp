#include "ui/fantasy_progress_bar.h"
#include "ui/fixed_tool_tip_filter.h"
#include "ui/images.h"
#include "ui/main_window_view.h"
#include "ui/news_card_delegate.h"
#include "ui/painting.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QStandardItemModel>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>

using namespace vorn;

namespace {

// Nine solid regions, with a per-pixel pattern in the corners so a scaled copy would differ.
QImage patchSource(const QSize& size, const QSize& borders)
{
    QImage image(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int column = x < borders.width() ? 0 : (x >= size.width() - borders.width() ? 2 : 1);
            const int row = y < borders.height() ? 0 : (y >= size.height() - borders.height() ? 2 : 1);
            const bool corner = column != 1 && row != 1;
            image.setPixel(x, y, corner ? qRgb(40 + x * 7 % 200, 30 + y * 11 % 200, 60 * row + 20 * column)
                                        : qRgb(10 + 80 * column, 10 + 80 * row, 200));
        }
    }
    return image;
}

QRgb regionColor(int column, int row)
{
    return qRgb(10 + 80 * column, 10 + 80 * row, 200);
}

} // namespace

class TestPainting final : public QObject
{
    Q_OBJECT

private slots:
    void ninePatch_data()
    {
        QTest::addColumn<QSize>("imageSize");
        QTest::addColumn<QSize>("target");
        QTest::addColumn<QSize>("borders");
        QTest::newRow("play plate") << QSize(246, 74) << QSize(244, 72) << QSize(14, 8);
        QTest::newRow("plate on a small button") << QSize(246, 74) << QSize(50, 50) << QSize(14, 8);
        QTest::newRow("small image: a third of each side") << QSize(30, 18) << QSize(120, 60) << QSize(10, 6);
        QTest::newRow("wide thin image") << QSize(90, 12) << QSize(300, 40) << QSize(14, 4);
    }

    void ninePatch()
    {
        QFETCH(QSize, imageSize);
        QFETCH(QSize, target);
        QFETCH(QSize, borders);
        QCOMPARE(painting::ninePatchBorders(imageSize), borders);

        const QImage source = patchSource(imageSize, borders);
        QImage out(target, QImage::Format_ARGB32);
        out.fill(Qt::transparent);
        {
            QPainter painter(&out);
            painting::drawNinePatch(painter, QRect(QPoint(), target), QPixmap::fromImage(source));
        }
        const int bx = borders.width(), by = borders.height();
        // Corners are copied pixel for pixel.
        for (int y = 0; y < by; ++y) {
            for (int x = 0; x < bx; ++x) {
                QCOMPARE(out.pixel(x, y), source.pixel(x, y));
                QCOMPARE(out.pixel(target.width() - bx + x, y), source.pixel(imageSize.width() - bx + x, y));
                QCOMPARE(out.pixel(x, target.height() - by + y), source.pixel(x, imageSize.height() - by + y));
                QCOMPARE(out.pixel(target.width() - bx + x, target.height() - by + y),
                         source.pixel(imageSize.width() - bx + x, imageSize.height() - by + y));
            }
        }
        // Edges and centre fill exactly the space between the corners.
        QCOMPARE(out.pixel(bx, by / 2), regionColor(1, 0));
        QCOMPARE(out.pixel(target.width() - bx - 1, by / 2), regionColor(1, 0));
        QCOMPARE(out.pixel(bx / 2, by), regionColor(0, 1));
        QCOMPARE(out.pixel(bx / 2, target.height() - by - 1), regionColor(0, 1));
        QCOMPARE(out.pixel(target.width() / 2, target.height() / 2), regionColor(1, 1));
        QCOMPARE(out.pixel(target.width() - 1 - bx / 2, target.height() / 2), regionColor(2, 1));
        QCOMPARE(out.pixel(target.width() / 2, target.height() - 1), regionColor(1, 2));
    }

    void ninePatchTinyTargetKeepsCornersApart()
    {
        const QImage source = patchSource(QSize(60, 30), QSize(14, 8));
        QImage out(QSize(10, 6), QImage::Format_ARGB32);
        out.fill(Qt::transparent);
        QPainter painter(&out);
        painting::drawNinePatch(painter, QRect(0, 0, 10, 6), QPixmap::fromImage(source));
        painter.end();
        QCOMPARE(out.pixel(0, 0), source.pixel(0, 0));
        QCOMPARE(out.pixel(9, 5), source.pixel(59, 29));
    }

    void wordmarkStroke_data()
    {
        QTest::addColumn<QRgb>("pixel");
        QTest::addColumn<bool>("stroke");
        QTest::newRow("warm gold") << qRgba(220, 170, 80, 255) << true;
        QTest::newRow("faint but above alpha 8") << qRgba(220, 170, 80, 9) << true;
        QTest::newRow("alpha 8") << qRgba(220, 170, 80, 8) << false;
        QTest::newRow("red 52") << qRgba(52, 40, 10, 255) << false;
        QTest::newRow("red 53") << qRgba(53, 40, 10, 255) << true;
        QTest::newRow("red only 13 over blue") << qRgba(113, 110, 100, 255) << false;
        QTest::newRow("green only 4 over blue") << qRgba(200, 104, 100, 255) << false;
        QTest::newRow("cold blue") << qRgba(40, 80, 200, 255) << false;
        QTest::newRow("white") << qRgba(255, 255, 255, 255) << false;
    }

    void wordmarkStroke()
    {
        QFETCH(QRgb, pixel);
        QFETCH(bool, stroke);
        QImage image(9, 9, QImage::Format_ARGB32);
        image.fill(qRgba(10, 20, 40, 255)); // dark background, never a stroke
        image.setPixel(4, 4, pixel);
        const QImage out = wordmarkPixelPass(image);
        QCOMPARE(out.format(), QImage::Format_ARGB32);
        // The halo: the 5 x 5 square around a stroke stays, everything else goes.
        for (int y = 0; y < 9; ++y) {
            for (int x = 0; x < 9; ++x) {
                const bool inSquare = stroke && qAbs(x - 4) <= 2 && qAbs(y - 4) <= 2;
                QCOMPARE(out.pixel(x, y), inSquare ? image.pixel(x, y) : 0u);
            }
        }
    }

    void wordmarkHaloClippedAtEdges()
    {
        QImage image(6, 3, QImage::Format_RGB32); // no alpha channel: every pixel opaque
        image.fill(qRgb(5, 5, 5));
        image.setPixel(0, 0, qRgb(230, 180, 90));
        const QImage out = wordmarkPixelPass(image);
        QCOMPARE(qAlpha(out.pixel(2, 2)), 255);
        QCOMPARE(out.pixel(3, 0), 0u);
        QVERIFY(wordmarkPixelPass(QImage()).isNull());
    }

    void logoHalf()
    {
        QImage logo(75, 20, QImage::Format_ARGB32);
        logo.fill(Qt::red);
        const QPixmap half = logoLeftHalf(QPixmap::fromImage(logo));
        QCOMPARE(half.size(), QSize(37, 20));
        QVERIFY(logoLeftHalf(QPixmap()).isNull());
    }

    // Cut for a scaled screen: the pixels of logical size x ratio, the ratio carried along, and
    // the centred part of the source, whatever ratio the source itself carries.
    void coveringForPixelRatio_data()
    {
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<qreal>("sourceRatio");
        QTest::addColumn<QSize>("pixels");
        QTest::newRow("100 %") << 1.0 << 1.0 << QSize(50, 100);
        QTest::newRow("150 %") << 1.5 << 1.0 << QSize(75, 150);
        QTest::newRow("200 %") << 2.0 << 1.0 << QSize(100, 200);
        QTest::newRow("200 %, source with its own ratio") << 2.0 << 2.0 << QSize(100, 200);
        QTest::newRow("below 1 counts as 1") << 0.0 << 1.0 << QSize(50, 100);
    }

    void coveringForPixelRatio()
    {
        QFETCH(qreal, ratio);
        QFETCH(qreal, sourceRatio);
        QFETCH(QSize, pixels);
        // Red left and right thirds around a green middle, twice as wide as it is high.
        QImage source(600, 200, QImage::Format_ARGB32);
        source.fill(Qt::red);
        QPainter(&source).fillRect(200, 0, 200, 200, Qt::green);
        QPixmap image = QPixmap::fromImage(source);
        image.setDevicePixelRatio(sourceRatio);

        const QPixmap covering = painting::coveringPixmap(image, QSize(50, 100), ratio);
        QCOMPARE(covering.size(), pixels);
        QCOMPARE(covering.devicePixelRatioF(), std::max<qreal>(1.0, ratio));
        // The 1:2 window onto a 3:1 image is its middle: green from edge to edge.
        const QImage cut = covering.toImage();
        QCOMPARE(cut.pixelColor(2, pixels.height() / 2), QColor(Qt::green));
        QCOMPARE(cut.pixelColor(pixels.width() - 3, pixels.height() / 2), QColor(Qt::green));

        // Drawn through a painter on a device of that ratio, it is not scaled again.
        QImage device(pixels, QImage::Format_ARGB32);
        device.setDevicePixelRatio(std::max<qreal>(1.0, ratio));
        device.fill(Qt::black);
        {
            QPainter painter(&device);
            painting::drawCovering(painter, QRect(0, 0, 50, 100), image);
        }
        QCOMPARE(device.pixelColor(pixels.width() - 1, pixels.height() - 1), QColor(Qt::green));
    }

    void chronicleLogoForPixelRatio_data()
    {
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QSize>("pixels");
        QTest::newRow("100 %") << 1.0 << QSize(286, 104);
        QTest::newRow("150 %") << 1.5 << QSize(429, 156);
        QTest::newRow("200 %") << 2.0 << QSize(572, 208);
    }

    void chronicleLogoForPixelRatio()
    {
        QFETCH(qreal, ratio);
        QFETCH(QSize, pixels);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QImage art(572, 208, QImage::Format_ARGB32);
        art.fill(Qt::yellow);
        const QString path = dir.filePath(QStringLiteral("logo.png"));
        QVERIFY(art.save(path));
        const QPixmap logo = chronicleLogoFor(QStringLiteral("en"), QString(), path, ratio);
        QCOMPARE(logo.size(), pixels);
        QCOMPARE(logo.devicePixelRatioF(), ratio);
        QVERIFY(chronicleLogoFor(QStringLiteral("en"), path, dir.filePath("missing.png"), ratio).isNull());
    }

    void progressFraction_data()
    {
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("value");
        QTest::addColumn<double>("fraction");
        QTest::newRow("half") << 0 << 100 << 50 << 0.5;
        QTest::newRow("offset range") << 200 << 300 << 225 << 0.25;
        QTest::newRow("empty range") << 5 << 5 << 5 << 0.0;
        QTest::newRow("inverted range") << 10 << 0 << 5 << 0.0;
        QTest::newRow("above maximum") << 0 << 100 << 250 << 1.0;
        QTest::newRow("below minimum") << 0 << 100 << -20 << 0.0;
        QTest::newRow("whole int range") << INT_MIN << INT_MAX << INT_MAX << 1.0;
        QTest::newRow("whole int range, middle") << INT_MIN << INT_MAX << 0 << 0.5;
    }

    void progressFraction()
    {
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(int, value);
        QFETCH(double, fraction);
        QVERIFY(qAbs(vorn::progressFraction(minimum, maximum, value) - fraction) < 1e-9);
    }

    void progressFill_data()
    {
        QTest::addColumn<double>("fraction");
        QTest::addColumn<bool>("filled");
        QTest::addColumn<double>("width");
        // Track of a 400 x 16 bar: 398.5 wide; the fill is 4 px narrower at most.
        QTest::newRow("nothing") << 0.0 << false << 0.0;
        QTest::newRow("a sliver grows to 5 px") << 0.001 << true << 5.0;
        QTest::newRow("half") << 0.5 << true << 197.25;
        QTest::newRow("full") << 1.0 << true << 394.5;
    }

    void progressFill()
    {
        QFETCH(double, fraction);
        QFETCH(bool, filled);
        QFETCH(double, width);
        const std::optional<QRectF> fill = progressFillRect(QRectF(0, 0, 400, 16), fraction);
        QCOMPARE(fill.has_value(), filled);
        if (fill) {
            QCOMPARE(fill->width(), width);
            QCOMPARE(fill->left(), 2.75);
            QCOMPARE(fill->top(), 3.25);
            QCOMPARE(fill->height(), 9.5);
        }
    }

    void newsCardSizeHint_data()
    {
        QTest::addColumn<QSize>("grid");
        QTest::addColumn<int>("viewportWidth");
        QTest::addColumn<QSize>("hint");
        QTest::newRow("grid set") << QSize(640, 260) << 700 << QSize(640, 260);
        QTest::newRow("no grid") << QSize() << 589 << QSize(588, 200);
        QTest::newRow("grid without height") << QSize(640, 0) << 589 << QSize(588, 200);
        QTest::newRow("narrow viewport") << QSize() << 120 << QSize(300, 200);
    }

    void newsCardSizeHint()
    {
        QFETCH(QSize, grid);
        QFETCH(int, viewportWidth);
        QFETCH(QSize, hint);
        QCOMPARE(vorn::newsCardSizeHint(grid, viewportWidth), hint);
    }

    void newsCardPaintsOnlyInsideItsRow_data()
    {
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<bool>("painted");
        QTest::newRow("laid out") << QRect(0, 0, 589, 200) << true;
        QTest::newRow("not laid out yet") << QRect() << false;
        QTest::newRow("zero height") << QRect(0, 0, 589, 0) << false;
    }

    // A row without room gets no card: drawn at its minimum size it would outlive the layout.
    void newsCardPaintsOnlyInsideItsRow()
    {
        QFETCH(QRect, rect);
        QFETCH(bool, painted);
        QImage image(600, 210, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QStandardItemModel model(1, 1);
        model.setData(model.index(0, 0), QStringLiteral("A title"), Qt::UserRole + 3);
        QStyleOptionViewItem option;
        option.rect = rect;
        QPainter painter(&image);
        NewsCardDelegate().paint(&painter, option, model.index(0, 0));
        painter.end();
        QImage empty(image.size(), image.format());
        empty.fill(Qt::transparent);
        QCOMPARE(image != empty, painted);
    }

    void newsCardScale_data()
    {
        QTest::addColumn<QVariant>("property");
        QTest::addColumn<double>("scale");
        QTest::newRow("unset") << QVariant() << 1.0;
        QTest::newRow("zero") << QVariant(0.0) << 1.0;
        QTest::newRow("negative") << QVariant(-3.0) << 1.0;
        QTest::newRow("below one") << QVariant(0.6) << 1.0;
        QTest::newRow("inside") << QVariant(1.25) << 1.25;
        QTest::newRow("above the cap") << QVariant(2.4) << 1.5;
        QTest::newRow("text") << QVariant(QStringLiteral("big")) << 1.0;
        QTest::newRow("nan") << QVariant(qQNaN()) << 1.0;
    }

    void newsCardScale()
    {
        QFETCH(QVariant, property);
        QFETCH(double, scale);
        QCOMPARE(vorn::newsCardScale(property), scale);
    }

    void newsCardImageBox_data()
    {
        QTest::addColumn<QRect>("card");
        QTest::addColumn<double>("scale");
        QTest::addColumn<QRect>("box");
        QTest::newRow("window size") << QRect(3, 3, 582, 194) << 1.0 << QRect(9, 22, 260, 156);
        QTest::newRow("narrow card") << QRect(3, 3, 294, 194) << 1.0 << QRect(9, 22, 210, 156);
        QTest::newRow("scaled") << QRect(3, 3, 900, 294) << 1.5 << QRect(12, 33, 390, 234);
        QTest::newRow("short card") << QRect(3, 3, 582, 130) << 1.0 << QRect(9, 9, 260, 118);
    }

    void newsCardImageBox()
    {
        QFETCH(QRect, card);
        QFETCH(double, scale);
        QFETCH(QRect, box);
        QCOMPARE(vorn::newsCardImageBox(card, scale), box);
    }

    void toolTipPlacement_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QSize>("tip");
        QTest::addColumn<QPoint>("position");
        const QRect screen(0, 0, 1920, 1040);
        QTest::newRow("above, left aligned") << screen << QRect(500, 400, 52, 52) << QSize(120, 22)
                                             << QPoint(500, 370);
        QTest::newRow("top of screen goes below") << screen << QRect(500, 10, 52, 52) << QSize(120, 22)
                                                  << QPoint(500, 70);
        QTest::newRow("just room above") << screen << QRect(500, 34, 52, 20) << QSize(120, 22)
                                         << QPoint(500, 4);
        QTest::newRow("right edge shifted 4 px inside") << screen << QRect(1880, 400, 34, 34)
                                                        << QSize(120, 22) << QPoint(1796, 370);
        QTest::newRow("left of the screen") << screen << QRect(-30, 400, 60, 20) << QSize(80, 22)
                                            << QPoint(4, 370);
        QTest::newRow("second screen") << QRect(1920, 0, 1280, 1000) << QRect(3150, 20, 40, 30)
                                       << QSize(100, 22) << QPoint(3096, 58);
    }

    void toolTipPlacement()
    {
        QFETCH(QRect, available);
        QFETCH(QRect, anchor);
        QFETCH(QSize, tip);
        QFETCH(QPoint, position);
        QCOMPARE(fixedToolTipPosition(anchor, tip, available), position);
    }

    void newsScale_data()
    {
        QTest::addColumn<QSize>("window");
        QTest::addColumn<double>("scale");
        QTest::newRow("minimum size") << QSize(1060, 620) << 1.0;
        QTest::newRow("large") << QSize(1600, 900) << 1.5;
        QTest::newRow("wide and low: height bounds it") << QSize(2000, 620) << 1.25;
        QTest::newRow("tall and narrow") << QSize(1060, 744) << 1.2;
        QTest::newRow("huge") << QSize(3840, 2160) << 1.5;
    }

    void newsScale()
    {
        QFETCH(QSize, window);
        QFETCH(double, scale);
        QVERIFY(qAbs(newsScaleForWindow(window) - scale) < 1e-9);
    }

    void newsRoom()
    {
        QCOMPARE(newsRoomFor(620, false), 222);
        QCOMPARE(newsRoomFor(620, true), 142);
        QCOMPARE(newsRoomFor(100, true), 0);
    }
};

QTEST_MAIN(TestPainting)
#include "tst_painting.moc"
