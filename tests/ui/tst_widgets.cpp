#include "config/localization.h"
#include "ui/artwork_navigation_button.h"
#include "ui/dialog_close_button.h"
#include "ui/fixed_tool_tip_filter.h"
#include "ui/launcher_dialog.h"
#include "ui/launcher_message.h"
#include "ui/launcher_style.h"
#include "ui/news_article.h"
#include "ui/relabel.h"
#include "ui/styled_check_box.h"
#include "ui/styled_combo_box.h"
#include "ui/styled_spin_box.h"

#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

using namespace vorn;

namespace {

bool sendToolTip(QWidget* widget)
{
    QHelpEvent event(QEvent::ToolTip, QPoint(2, 2), widget->mapToGlobal(QPoint(2, 2)));
    return QCoreApplication::sendEvent(widget, &event);
}

void sendMouse(QWidget* widget, QEvent::Type type, const QPoint& global)
{
    QMouseEvent event(type, widget->mapFromGlobal(global), global, Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

} // namespace

class TestWidgets final : public QObject
{
    Q_OBJECT

private slots:
    void messageBadge_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("glyph");
        QTest::addColumn<QString>("color");
        QTest::newRow("information") << 0 << QStringLiteral("i") << QStringLiteral("#b88a35");
        QTest::newRow("warning") << 1 << QStringLiteral("!") << QStringLiteral("#b68a3e");
        QTest::newRow("error") << 2 << QString(QChar(0x00D7)) << QStringLiteral("#a65d50");
    }

    void messageBadge()
    {
        QFETCH(int, kind);
        QFETCH(QString, glyph);
        QFETCH(QString, color);
        const std::unique_ptr<LauncherDialog> box(createLauncherMessage(
            nullptr, QStringLiteral("Game launch"), QStringLiteral("File not found: x"),
            static_cast<LauncherMessageKind>(kind)));
        QCOMPARE(box->windowTitle(), QStringLiteral("Game launch"));
        QCOMPARE(box->titleLabel()->text(), QStringLiteral("Game launch"));
        QVERIFY(box->isModal());
        QCOMPARE(box->minimumWidth(), 390);
        QCOMPARE(box->maximumWidth(), 520);

        auto* badge = box->findChild<QLabel*>(QStringLiteral("messageBadge"));
        QVERIFY(badge);
        QCOMPARE(badge->text(), glyph);
        QCOMPARE(badge->size(), QSize(34, 34));
        QCOMPARE(badge->styleSheet(),
                 QStringLiteral("QLabel{color:#0b1016;background:%1;border:1px solid %1;"
                                "border-radius:17px;font-size:18px;font-weight:bold;}")
                     .arg(color));
        auto* text = box->findChild<QLabel*>(QStringLiteral("messageText"));
        QVERIFY(text && text->wordWrap());
        QCOMPARE(text->text(), QStringLiteral("File not found: x"));

        auto* ok = box->findChild<QPushButton*>(QStringLiteral("primaryButton"));
        QVERIFY(ok);
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        box->show();
        ok->click();
        QCOMPARE(box->result(), int(QDialog::Accepted));
    }

    void dialogTree()
    {
        LauncherDialog dialog(QStringLiteral("Launcher settings"));
        QCOMPARE(dialog.objectName(), QStringLiteral("launcherDialog"));
        QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(dialog.titleBar()->height(), 40);
        QVERIFY(dialog.titleLabel()->testAttribute(Qt::WA_TransparentForMouseEvents));
        QCOMPARE(dialog.closeButton()->objectName(), QStringLiteral("dialogClose"));
        QCOMPARE(dialog.closeButton()->size(), QSize(30, 30));
        QCOMPARE(dialog.closeButton()->toolTip(), QStringLiteral("Close"));
        QCOMPARE(dialog.bodyLayout()->contentsMargins(), QMargins(18, 16, 18, 17));
        QVERIFY(dialog.styleSheet().startsWith(
            QStringLiteral("QDialog#launcherDialog{background:#070b10;color:#adb5bf;}")));

        dialog.show();
        dialog.closeButton()->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
    }

    void dialogDragsByTitleBar()
    {
        LauncherDialog dialog(QStringLiteral("Drag me"));
        dialog.show();
        dialog.move(100, 100);
        const QPoint start = dialog.titleBar()->mapToGlobal(QPoint(20, 20));
        const QPoint offset = start - dialog.frameGeometry().topLeft();
        sendMouse(dialog.titleBar(), QEvent::MouseButtonPress, start);
        sendMouse(dialog.titleBar(), QEvent::MouseMove, start + QPoint(70, 45));
        QCOMPARE(dialog.frameGeometry().topLeft(), start + QPoint(70, 45) - offset);
        sendMouse(dialog.titleBar(), QEvent::MouseButtonRelease, start + QPoint(70, 45));
        const QPoint settled = dialog.pos();
        sendMouse(dialog.titleBar(), QEvent::MouseMove, start + QPoint(300, 300));
        QCOMPARE(dialog.pos(), settled);
    }

    void dialogCentresOnceOnItsParent()
    {
        QWidget parent;
        parent.setGeometry(200, 150, 800, 600);
        parent.show();
        LauncherDialog dialog(QStringLiteral("Centred"), &parent);
        dialog.show();
        QVERIFY(qAbs(dialog.frameGeometry().center().x() - parent.frameGeometry().center().x()) <= 1);
        QVERIFY(qAbs(dialog.frameGeometry().center().y() - parent.frameGeometry().center().y()) <= 1);
        dialog.hide();
        dialog.move(37, 41);
        dialog.show();
        QCOMPARE(dialog.pos(), QPoint(37, 41));
    }

    void styleWakesToolTipsAtOnce()
    {
        LauncherStyle style;
        QCOMPARE(style.styleHint(QStyle::SH_ToolTip_WakeUpDelay), 0);
        QCOMPARE(style.styleHint(QStyle::SH_ToolTip_FallAsleepDelay),
                 style.baseStyle()->styleHint(QStyle::SH_ToolTip_FallAsleepDelay));
    }

    void fixedToolTip()
    {
        FixedToolTipFilter filter;
        QVERIFY(filter.tipLabel()->windowFlags().testFlag(Qt::ToolTip));
        QCOMPARE(filter.tipLabel()->objectName(), QStringLiteral("fixedToolTip"));
        QVERIFY(filter.tipLabel()->isHidden());
        qApp->installEventFilter(&filter);

        QWidget window;
        window.setGeometry(300, 300, 400, 300);
        auto* tipped = new QPushButton(QStringLiteral("tipped"), &window);
        tipped->setGeometry(100, 100, 80, 30);
        tipped->setToolTip(QStringLiteral("Use the additional update server"));
        auto* plain = new QPushButton(QStringLiteral("plain"), &window);
        plain->setGeometry(200, 100, 80, 30);
        window.show();

        QVERIFY(sendToolTip(tipped));
        QVERIFY(filter.tipLabel()->isVisible());
        QCOMPARE(filter.tipLabel()->text(), tipped->toolTip());
        QCOMPARE(filter.shownFor(), tipped);
        const QPoint anchor = tipped->mapToGlobal(QPoint(0, 0));
        QCOMPARE(filter.tipLabel()->pos(), QPoint(anchor.x(), anchor.y() - 8 - filter.tipLabel()->height()));

        // A widget without a tip hides the one still shown; Qt's own tip never appears.
        QVERIFY(sendToolTip(plain));
        QVERIFY(!filter.tipLabel()->isVisible());
        QVERIFY(!filter.shownFor());

        for (QEvent::Type type : {QEvent::Leave, QEvent::Wheel}) {
            QVERIFY(sendToolTip(tipped));
            QVERIFY(filter.tipLabel()->isVisible());
            QEvent event(type);
            QCoreApplication::sendEvent(tipped, &event);
            QVERIFY2(!filter.tipLabel()->isVisible(), QByteArray::number(int(type)).constData());
        }

        QVERIFY(sendToolTip(tipped));
        delete tipped;
        QVERIFY(!filter.tipLabel()->isVisible());
        QVERIFY(!filter.shownFor());
        qApp->removeEventFilter(&filter);
    }

    void checkBoxSizeHint()
    {
        StyledCheckBox box(QStringLiteral("Use proxy settings"));
        const QFontMetrics metrics(box.font());
        QCOMPARE(box.sizeHint(), QSize(metrics.horizontalAdvance(box.text()) + 27,
                                       qMax(23, metrics.height() + 6)));
        QCOMPARE(box.minimumHeight(), 23);
        QCOMPARE(box.cursor().shape(), Qt::PointingHandCursor);
    }

    void arrowBoxesTrackTheMouse()
    {
        StyledSpinBox spin;
        StyledComboBox combo;
        for (QWidget* widget : std::initializer_list<QWidget*>{&spin, &combo}) {
            widget->resize(160, 32);
            QMouseEvent move(QEvent::MouseMove, QPoint(150, 10), widget->mapToGlobal(QPoint(150, 10)),
                             Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(widget, &move);
            const QPoint seen = widget == &spin ? spin.lastMousePosition() : combo.lastMousePosition();
            QCOMPARE(seen, QPoint(150, 10));
            QEvent leave(QEvent::Leave);
            QCoreApplication::sendEvent(widget, &leave);
            const QPoint after = widget == &spin ? spin.lastMousePosition() : combo.lastMousePosition();
            QCOMPARE(after, QPoint(-1, -1));
        }
        QVERIFY(combo.arrowArea().width() >= 12);
        QVERIFY(combo.rect().contains(combo.arrowArea()));
    }

    void artworkCaption_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("russian");
        QTest::newRow("english") << QStringLiteral("Knowledge base") << false;
        QTest::newRow("russian") << QStringLiteral("База знаний") << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("first cyrillic letter") << QString(QChar(0x0400)) << true;
        QTest::newRow("last cyrillic letter") << QStringLiteral("x") + QChar(0x04FF) << true;
        QTest::newRow("just past the block") << QString(QChar(0x0500)) << false;
    }

    void artworkCaption()
    {
        QFETCH(QString, text);
        QFETCH(bool, russian);
        ArtworkNavigationButton button{QPixmap(), QPixmap(), QPixmap()};
        button.setText(text);
        QCOMPARE(button.showsRussianCaption(), russian);
    }

    void articleTemplateFillsOnce()
    {
        const QString html = newsArticleHtml(QStringLiteral("NEWS"), QStringLiteral("Sale: 50%2 off"),
                                             QStringLiteral("Body %1"), QString());
        QVERIFY(html.contains(QStringLiteral("<div class='category'>NEWS</div><h1>Sale: 50%2 off</h1>"
                                             "<div>Body %1</div>")));
        QVERIFY(html.startsWith(QStringLiteral("<style>body{color:#c0c5ca;")));
    }

    void relabel()
    {
        QTemporaryDir dir;
        QFile ru(dir.filePath(QStringLiteral("ru.ini")));
        QVERIFY(ru.open(QIODevice::WriteOnly));
        ru.write("[Main]\nPlay=\"ИГРАТЬ\"\nClose=\"Закрыть\"\nSettings=\"Настройки\"\n");
        ru.close();
        QFile en(dir.filePath(QStringLiteral("en.ini")));
        QVERIFY(en.open(QIODevice::WriteOnly));
        en.write("[Main]\nPlay=\"PLAY\"\nSettings=\"Settings\"\n");
        en.close();

        QWidget root;
        auto* button = new QPushButton(&root);
        bindLocale(button, "Main/Play", "fallback play");
        auto* label = new QLabel(&root);
        bindLocale(label, "Main/Settings", "fallback settings");
        auto* action = new QAction(&root);
        bindLocale(action, "Main/Missing", "Fallback action");
        auto* tipped = new QWidget(&root);
        bindToolTipLocale(tipped, "Main/Close", "Close");
        auto* language = new QPushButton(&root);
        language->setProperty("selectedLanguage", QStringLiteral("ru"));
        auto* untouched = new QLabel(QStringLiteral("as is"), &root);

        QVERIFY(loadCatalogues(QStringLiteral("ru"), dir.path()));
        relabelWidgetTree(&root, QStringLiteral("ru"));
        QCOMPARE(button->text(), QStringLiteral("ИГРАТЬ"));
        QCOMPARE(label->text(), QStringLiteral("Настройки"));
        QCOMPARE(action->text(), QStringLiteral("Fallback action"));
        QCOMPARE(tipped->toolTip(), QStringLiteral("Закрыть"));

        QVERIFY(loadCatalogues(QStringLiteral("en"), dir.path()));
        relabelWidgetTree(&root, QStringLiteral("en"));
        QCOMPARE(button->text(), QStringLiteral("PLAY"));
        QCOMPARE(label->text(), QStringLiteral("Settings"));
        QCOMPARE(tipped->toolTip(), QStringLiteral("Закрыть")); // English lacks it: Russian base
        QCOMPARE(language->property("selectedLanguage").toString(), QStringLiteral("en"));
        QCOMPARE(untouched->text(), QStringLiteral("as is"));
    }
};

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
