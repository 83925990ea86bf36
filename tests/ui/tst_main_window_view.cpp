#include "config/localization.h"
#include "config/settings.h"
#include "ui/artwork_navigation_button.h"
#include "ui/fantasy_launch_button.h"
#include "ui/game_utility_button.h"
#include "ui/profile_option_button.h"
#include "ui/window_control_button.h"
#include "ui/images.h"
#include "ui/launcher_dialog.h"
#include "ui/launcher_message.h"
#include "ui/language_dropdown_button.h"
#include "ui/main_window_view.h"
#include "ui/style.h"

#include <QCheckBox>
#include <QImageReader>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QSignalSpy>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <QWindow>
#include <QtTest>

#include <memory>

using namespace vorn;

namespace {

QRect inWindow(const QWidget* widget, const QWidget* window)
{
    return QRect(widget->mapTo(window, QPoint(0, 0)), widget->size());
}

} // namespace

class TestMainWindowView final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_settings;
    const QString m_locales = QStringLiteral(VORN_LOCALES_DIR);

    std::unique_ptr<QMainWindow> build(const QString& language, bool showLogSetting)
    {
        setLanguage(language);
        setShowLog(showLogSetting);
        (void)loadCatalogues(language, m_locales);
        auto window = std::make_unique<QMainWindow>();
        new MainWindowView(window.get());
        return window;
    }

    static MainWindowView* viewOf(QMainWindow* window) { return window->findChild<MainWindowView*>(); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        setLauncherDirectory(m_settings.path());
    }

    void treeFitsMinimumSize_data()
    {
        QTest::addColumn<bool>("logShown");
        QTest::addColumn<QString>("language");
        QTest::newRow("log hidden") << false << QStringLiteral("ru");
        QTest::newRow("log shown") << true << QStringLiteral("ru");
        QTest::newRow("log shown, en") << true << QStringLiteral("en");
    }

    // Also run on scaled screens (QT_SCALE_FACTOR, see CMakeLists.txt): the same logical
    // geometry, every text still inside its box, and artwork made for the pixel ratio.
    void treeFitsMinimumSize()
    {
        QFETCH(bool, logShown);
        QFETCH(QString, language);
        auto window = build(language, logShown);
        MainWindowView* view = viewOf(window.get());
        QCOMPARE(window->minimumSize(), QSize(1060, 620));
        QCOMPARE(window->size(), QSize(1060, 620));
        QVERIFY(window->windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(window->styleSheet(), QLatin1String(style::kMainWindowStyleSheet));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCoreApplication::processEvents();

        QCOMPARE(view->titleBar->height(), 82);
        QCOMPARE(view->footer->height(), 112);
        QCOMPARE(view->miniLog->isVisible(), logShown);
        if (logShown)
            QCOMPARE(view->miniLog->height(), 80);
        QCOMPARE(view->rightColumn->contentsMargins().bottom(), logShown ? 12 : 0);
        // A news card spans the list, not the width the list had before the first layout.
        QCOMPARE(view->newsList->gridSize().width(), view->newsList->viewport()->width() - 1);

        // Every widget with a fixed size has it and lies wholly inside the window.
        const QRect windowRect = window->rect();
        const QList<QWidget*> widgets = window->findChildren<QWidget*>();
        int fixed = 0;
        for (QWidget* widget : widgets) {
            if (!widget->isVisibleTo(window.get()) || widget->isWindow())
                continue;
            const QRect rect = inWindow(widget, window.get());
            if (widget->minimumSize() == widget->maximumSize()) {
                ++fixed;
                QVERIFY2(widget->size() == widget->minimumSize(), qPrintable(widget->objectName()));
            }
            if (widget->minimumHeight() == widget->maximumHeight() && widget->minimumHeight() > 0)
                QVERIFY2(windowRect.contains(rect), qPrintable(widget->objectName()));
        }
        QVERIFY(fixed >= 15);

        // Every text fits its box: the labels' and check boxes' text as their fonts lay it out.
        int texts = 0;
        for (QLabel* label : window->findChildren<QLabel*>()) {
            if (!label->isVisibleTo(window.get()) || label->text().isEmpty() || label->wordWrap())
                continue;
            const QSize needed = label->fontMetrics().size(Qt::TextSingleLine, label->text());
            const QRect box = label->contentsRect();
            QVERIFY2(needed.width() <= box.width() && needed.height() <= box.height() + 2,
                     qPrintable(QStringLiteral("%1: %2x%3 in %4x%5").arg(label->objectName())
                                    .arg(needed.width()).arg(needed.height())
                                    .arg(box.width()).arg(box.height())));
            ++texts;
        }
        for (QCheckBox* check : window->findChildren<QCheckBox*>()) {
            if (!check->isVisibleTo(window.get()))
                continue;
            QVERIFY2(check->sizeHint().width() <= check->width()
                         && check->sizeHint().height() <= check->height(),
                     qPrintable(check->text()));
            ++texts;
        }
        QVERIFY(texts >= 5);

        // Artwork scaled for the window is made for the screen's pixel ratio, not magnified.
        const qreal ratio = window->devicePixelRatioF();
        const QPixmap logo = view->chronicleLogo->pixmap(Qt::ReturnByValue);
        QCOMPARE(logo.devicePixelRatioF(), ratio);
        QVERIFY(logo.width() >= qRound(style::kChronicleLogoWidth * ratio) - 1
                || logo.height() >= qRound(style::kChronicleLogoHeight * ratio) - 1);

        // Stacked parts do not run into each other.
        QVERIFY(inWindow(view->titleBar, window.get()).bottom() < inWindow(view->contentArea, window.get()).top());
        QVERIFY(inWindow(view->newsList, window.get()).bottom() < inWindow(view->navigationPanel, window.get()).top());
        QVERIFY(inWindow(view->navigationPanel, window.get()).bottom()
                <= inWindow(view->contentArea, window.get()).bottom());
        // With the log shown the right column is 34 px short; only the chronicle card's
        // transparent lower margin then lies behind the profile card, not its logo.
        const int logoImageBottom = inWindow(view->chronicleLogo, window.get()).center().y()
                                    + qRound(view->chronicleLogo->pixmap(Qt::ReturnByValue).height()
                                             / view->chronicleLogo->pixmap(Qt::ReturnByValue).devicePixelRatioF())
                                          / 2;
        QVERIFY(logoImageBottom < inWindow(view->profileCard, window.get()).top());
        if (!logShown)
            QVERIFY(inWindow(view->chronicleCard, window.get()).bottom()
                    < inWindow(view->profileCard, window.get()).top());
        QVERIFY(inWindow(view->profileCard, window.get()).bottom() < inWindow(view->footer, window.get()).top());
        QVERIFY(inWindow(view->footer, window.get()).bottom() == window->height() - 2);
        QVERIFY(inWindow(view->playButton, window.get()).right() < window->width() - 1);
    }

    void namesSizesAndTexts()
    {
        auto window = build(QStringLiteral("en"), false);
        MainWindowView* view = viewOf(window.get());
        struct Expected { const char* name; QSize size; };
        const Expected expected[] = {
            {"headerLogo", {74, 74}}, {"brandWordmark", {116, 74}}, {"languageDropdown", {48, 34}},
            {"chronicleCard", {292, 164}}, {"profileCard", {292, 176}}, {"playButton", {246, 74}},
            {"releaseLabel", {246, 10}},
        };
        for (const Expected& e : expected) {
            auto* widget = window->findChild<QWidget*>(QLatin1String(e.name));
            QVERIFY2(widget, e.name);
            QCOMPARE(widget->minimumSize(), e.size);
            QCOMPARE(widget->maximumSize(), e.size);
        }
        QCOMPARE(window->findChildren<QPushButton*>(QStringLiteral("socialButton")).size(), 2);
        QCOMPARE(window->findChildren<QPushButton*>(QStringLiteral("gameUtilityButton")).size(), 3);
        QCOMPARE(window->findChildren<QPushButton*>(QStringLiteral("artNavigationButton")).size(), 3);
        QCOMPARE(window->findChildren<QPushButton*>(QStringLiteral("profileOption")).size(), 2);
        QCOMPARE(window->centralWidget()->objectName(), QStringLiteral("windowFrame"));
        QVERIFY(view->titleBar->property("windowDragArea").toBool());
        QVERIFY(!view->headerLogo->icon().isNull());
        QVERIFY(!view->brandWordmark->icon().isNull());
        QCOMPARE(view->playButton->text(), QStringLiteral("PLAY"));
        QCOMPARE(view->statusLabel->text(), QStringLiteral("Preparing..."));
        QCOMPARE(view->releaseLabel->text(), QStringLiteral("Version has not been checked yet"));
        QCOMPARE(view->progressPercent->text(), QStringLiteral("0%"));
        QCOMPARE(view->newsList->height(), 206);
        QCOMPARE(view->newsList->property("newsScale").toDouble(), 1.0);
        QVERIFY(view->pauseButton->isHidden() && !view->pauseButton->isEnabled());
        QVERIFY(view->legacyOption->isCheckable() && !view->modernOption->isCheckable());
        QCOMPARE(view->modernOption->toolTip(), QStringLiteral("In development..."));
        QVERIFY(view->newsText->toHtml().contains(QStringLiteral("Loading...")));
        QCOMPARE(view->languageMenu->actions().size(), 2);
        QCOMPARE(view->languageMenu->actions().at(1)->text(), QStringLiteral("EN"));

        QSignalSpy chosen(view, &MainWindowView::languageChosen);
        view->languageMenu->actions().at(0)->trigger();
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(chosen.at(0).at(0).toString(), QStringLiteral("ru"));
    }

    void newsFollowsWindowSize()
    {
        auto window = build(QStringLiteral("en"), false);
        MainWindowView* view = viewOf(window.get());
        window->resize(1600, 900);
        window->show();
        view->rescaleNews(window->size());
        QCOMPARE(view->newsList->property("newsScale").toDouble(), 1.5);
        QCOMPARE(view->newsList->height(), 309);
        QCOMPARE(view->newsList->gridSize().height(), 300);
    }

    void profileCardFitsItsClients_data()
    {
        QTest::addColumn<bool>("modern");
        QTest::newRow("modern and legacy") << true;
        QTest::newRow("legacy only") << false;
    }

    // The first shown option follows the title closely and the card keeps its bottom edge.
    void profileCardFitsItsClients()
    {
        QFETCH(bool, modern);
        auto window = build(QStringLiteral("en"), false);
        MainWindowView* view = viewOf(window.get());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCoreApplication::processEvents();
        const int cardBottom = inWindow(view->profileCard, window.get()).bottom();
        MainViewModel model;
        model.modernOptionVisible = modern;
        model.legacyOptionVisible = true;
        view->apply(model);
        QCoreApplication::processEvents();
        QTRY_COMPARE(inWindow(view->profileCard, window.get()).bottom(), cardBottom);
        const QWidget* first = modern ? static_cast<QWidget*>(view->modernOption) : view->legacyOption;
        // Measured from the title's text: a stretched label would hide an empty band.
        const QWidget* title = view->profileTitle;
        const int gap = first->geometry().top() - (title->geometry().top() + title->sizeHint().height());
        QVERIFY2(gap > 0 && gap <= 2 * view->profileCard->layout()->spacing(), qPrintable(QString::number(gap)));
        QVERIFY(view->legacyOption->geometry().bottom() < view->profileCard->height());
    }

    // A press, one move and a release, in the window's own coordinates, as the window system
    // delivers them.
    static void drag(QWidget* window, const QPoint& from, const QPoint& by)
    {
        QWindow* handle = window->windowHandle();
        const QPoint start = window->pos();
        QTest::mousePress(handle, Qt::LeftButton, {}, from);
        QTest::mouseMove(handle, from + by);
        // Released where the mouse now is; the window may have moved under it.
        QTRY_COMPARE(handle->geometry(), window->geometry());
        QTest::mouseRelease(handle, Qt::LeftButton, {}, from + by - (window->pos() - start));
    }

    void dragging_data()
    {
        QTest::addColumn<QSize>("initial");
        QTest::addColumn<QPoint>("from"); // negative: from the right or bottom edge
        QTest::addColumn<QPoint>("by");
        QTest::addColumn<QRect>("expected"); // relative to the initial geometry
        QTest::newRow("title bar moves the window")
            << QSize(1060, 620) << QPoint(400, 40) << QPoint(60, 45) << QRect(60, 45, 1060, 620);
        QTest::newRow("bottom right corner resizes")
            << QSize(1060, 620) << QPoint(-3, -3) << QPoint(100, 80) << QRect(0, 0, 1160, 700);
        QTest::newRow("left edge stops at the minimum width")
            << QSize(1160, 700) << QPoint(2, 300) << QPoint(300, 0) << QRect(100, 0, 1060, 700);
        QTest::newRow("top edge grows upwards")
            << QSize(1060, 620) << QPoint(500, 1) << QPoint(0, -50) << QRect(0, -50, 1060, 670);
        QTest::newRow("a button beside the edge is not a drag area")
            << QSize(1060, 620) << QPoint(-60, 19) << QPoint(-80, 40) << QRect(0, 0, 1060, 620);
    }

    void dragging()
    {
        QFETCH(QSize, initial);
        QFETCH(QPoint, from);
        QFETCH(QPoint, by);
        QFETCH(QRect, expected);
        auto window = build(QStringLiteral("en"), false);
        window->resize(initial);
        window->move(200, 150);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QRect before = window->geometry();
        drag(window.get(), QPoint(from.x() < 0 ? initial.width() + from.x() : from.x(),
                                  from.y() < 0 ? initial.height() + from.y() : from.y()),
             by);
        QTRY_COMPARE(window->geometry(), expected.translated(before.topLeft()));
    }

    void dialogMovesByItsTitle()
    {
        LauncherDialog dialog(QStringLiteral("Title"));
        dialog.resize(400, 200);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QPoint before = dialog.pos();
        // On the title text, which lets presses through to the title bar.
        drag(&dialog, dialog.titleLabel()->mapTo(&dialog, QPoint(5, 5)), QPoint(-30, 25));
        QTRY_COMPARE(dialog.pos(), before + QPoint(-30, 25));
    }

    // Server texts, engine messages and file names look like markup at times; they are shown
    // as they are.
    void markupIsShownAsText()
    {
        const QString text = QStringLiteral("<h1>Failed</h1> <img src='/x.png'> C:/Games/<b>Ostravel</b>");
        auto window = build(QStringLiteral("en"), false);
        MainViewModel model;
        model.status = text;
        model.release = text;
        viewOf(window.get())->apply(model);
        std::unique_ptr<LauncherDialog> message(createLauncherMessage(nullptr, QStringLiteral("t"), text,
                                                                      LauncherMessageKind::Error));
        auto* messageText = message->findChild<QLabel*>(QStringLiteral("messageText"));
        QVERIFY(messageText);
        for (QLabel* label : {viewOf(window.get())->statusLabel, viewOf(window.get())->releaseLabel, messageText}) {
            label->setWordWrap(false);
            QVERIFY2(label->sizeHint().width() >= label->fontMetrics().horizontalAdvance(text),
                     qPrintable(label->objectName()));
        }
    }

    void launcherIconHoldsEverySize()
    {
        QImageReader reader(assetPath("launcher-icon.ico"));
        QCOMPARE(reader.imageCount(), 7);
        QList<int> sizes;
        for (int i = 0; i < reader.imageCount(); ++i) {
            QVERIFY(reader.jumpToImage(i));
            const QImage image = reader.read();
            QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
            QCOMPARE(image.width(), image.height());
            QVERIFY(image.hasAlphaChannel());
            QCOMPARE(qAlpha(image.pixel(0, 0)), 0); // transparent around the crest
            QVERIFY(qAlpha(image.pixel(image.width() / 2, image.height() / 2)) > 0);
            sizes << image.width();
        }
        QCOMPARE(sizes, (QList<int>{16, 24, 32, 48, 64, 128, 256}));
    }

    void languageSwitch()
    {
        auto window = build(QStringLiteral("ru"), false);
        MainWindowView* view = viewOf(window.get());
        const QString ruPath = assetPath("chronicle-logo-ru.png");
        const QString enPath = assetPath("chronicle-logo-en.png");
        QCOMPARE(view->languageButton->property("selectedLanguage").toString(), QStringLiteral("ru"));
        const qreal ratio = view->chronicleLogo->devicePixelRatioF();
        QCOMPARE(view->chronicleLogo->pixmap(Qt::ReturnByValue).toImage(),
                 chronicleLogoFor(QStringLiteral("ru"), ruPath, enPath, ratio).toImage());
        QVERIFY(view->knowledgeButton->showsRussianCaption());
        QVERIFY(chronicleLogoFor(QStringLiteral("ru"), ruPath, enPath).toImage()
                != chronicleLogoFor(QStringLiteral("en"), ruPath, enPath).toImage());

        setLanguage(QStringLiteral("en"));
        QVERIFY(loadCatalogues(QStringLiteral("en"), m_locales));
        view->applyLanguage(QStringLiteral("en"));
        QCOMPARE(view->languageButton->property("selectedLanguage").toString(), QStringLiteral("en"));
        QCOMPARE(view->chronicleLogo->pixmap(Qt::ReturnByValue).toImage(),
                 chronicleLogoFor(QStringLiteral("en"), ruPath, enPath, ratio).toImage());
        QVERIFY(!view->knowledgeButton->showsRussianCaption());
        QCOMPARE(view->playButton->text(), translate("Main/Play", "PLAY"));
        QCOMPARE(view->closeButton->toolTip(), QStringLiteral("Close"));
        QCOMPARE(view->legacyOption->property("profileSubtitle").toString(),
                 QStringLiteral("Compatibility client"));
    }
};

QTEST_MAIN(TestMainWindowView)
#include "tst_main_window_view.moc"
