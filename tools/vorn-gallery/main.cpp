// Renders every painted widget in each of its states and the whole main window, offscreen,
// to PNG files, so that the look can be reviewed without a desktop:
//   QT_QPA_PLATFORM=offscreen vorn-gallery --out DIR
// With --grab-screen FILE it instead saves the whole screen (for example an Xvfb display).
#include "config/localization.h"
#include "config/settings.h"
#include "launcher/application.h"
#include "ui/artwork_navigation_button.h"
#include "ui/dialog_close_button.h"
#include "ui/fantasy_launch_button.h"
#include "ui/fantasy_progress_bar.h"
#include "ui/fixed_tool_tip_filter.h"
#include "ui/game_utility_button.h"
#include "ui/images.h"
#include "ui/language_dropdown_button.h"
#include "ui/launcher_backdrop.h"
#include "ui/launcher_dialog.h"
#include "ui/proxy_dialog.h"
#include "ui/settings_dialog.h"
#include "ui/launcher_message.h"
#include "ui/main_window_view.h"
#include "ui/news_card_delegate.h"
#include "ui/news_cover_label.h"
#include "ui/news_slider_arrow.h"
#include "ui/profile_option_button.h"
#include "ui/styled_check_box.h"
#include "ui/styled_combo_box.h"
#include "ui/styled_spin_box.h"
#include "ui/window_control_button.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QPainter>
#include <QPlainTextEdit>
#include <QMouseEvent>
#include <QScreen>
#include <QStyleOptionSpinBox>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>
#include <memory>

using namespace vorn;

namespace {

enum State { Normal, Hover, Pressed, Disabled, Checked, CheckedHover };

const char* stateName(State state)
{
    switch (state) {
    case Normal: return "normal";
    case Hover: return "hover";
    case Pressed: return "pressed";
    case Disabled: return "disabled";
    case Checked: return "checked";
    case CheckedHover: return "checked-hover";
    }
    return "normal";
}

class Gallery
{
public:
    explicit Gallery(const QDir& out) : m_out(out) {}

    bool save(const QString& name, const QPixmap& pixmap)
    {
        const QString path = m_out.filePath(name + QStringLiteral(".png"));
        if (pixmap.isNull() || !pixmap.save(path, "PNG")) {
            std::fprintf(stderr, "vorn-gallery: cannot write %s\n", qPrintable(path));
            m_ok = false;
            return false;
        }
        std::printf("%s\n", qPrintable(path));
        return true;
    }

    // Renders a widget on a dark card, so that transparent parts read as they do in the window.
    void widget(const QString& name, QWidget* widget, State state, const QSize& size)
    {
        QWidget card;
        card.setAttribute(Qt::WA_StyledBackground);
        card.setStyleSheet(QStringLiteral("background:#070b10;"));
        auto* layout = new QVBoxLayout(&card);
        layout->setContentsMargins(10, 10, 10, 10);
        widget->setParent(&card);
        widget->setFixedSize(size);
        layout->addWidget(widget);
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            button->setDown(state == Pressed);
            if (state == Checked || state == CheckedHover) {
                button->setCheckable(true);
                button->setChecked(true);
            }
        }
        widget->setEnabled(state != Disabled);
        widget->setAttribute(Qt::WA_UnderMouse, state == Hover || state == CheckedHover || state == Pressed);
        card.adjustSize();
        const QString fullName = QStringLiteral("widget-%1-%2").arg(name, QLatin1String(stateName(state)));
        const QPixmap shot = card.grab();
        if (save(fullName, shot))
            m_sheet.append({fullName.mid(7), shot});
    }

    // Every widget shot on one page, each under its name.
    void saveSheet(const QString& name, int width)
    {
        const int gap = 12;
        const int caption = 16;
        int x = gap, y = gap, rowHeight = 0;
        QList<QPoint> positions;
        for (const auto& entry : m_sheet) {
            const QSize size = entry.second.size();
            if (x + size.width() + gap > width && x > gap) {
                x = gap;
                y += rowHeight + caption + gap;
                rowHeight = 0;
            }
            positions << QPoint(x, y);
            x += std::max(size.width(), 120) + gap;
            rowHeight = std::max(rowHeight, size.height());
        }
        QPixmap sheet(width, y + rowHeight + caption + gap);
        sheet.fill(QColor(0x11, 0x14, 0x18));
        QPainter painter(&sheet);
        QFont font = QApplication::font();
        font.setPixelSize(10);
        painter.setFont(font);
        painter.setPen(QColor(0x9a, 0xa3, 0xad));
        for (int i = 0; i < m_sheet.size(); ++i) {
            const QPoint at = positions.at(i);
            painter.drawPixmap(at, m_sheet.at(i).second);
            painter.drawText(QRect(at.x(), at.y() + m_sheet.at(i).second.height() + 2, 300, caption),
                             Qt::AlignLeft | Qt::AlignTop, m_sheet.at(i).first);
        }
        painter.end();
        save(name, sheet);
    }

    template <typename Make>
    void states(const QString& name, const QSize& size, std::initializer_list<State> list, Make make)
    {
        for (State state : list) {
            std::unique_ptr<QWidget> owner(make());
            QWidget* w = owner.release(); // reparented into the card, deleted with it
            widget(name, w, state, size);
        }
    }

    [[nodiscard]] bool ok() const { return m_ok; }

private:
    QDir m_out;
    bool m_ok = true;
    QList<QPair<QString, QPixmap>> m_sheet;
};

void addSampleNews(QListWidget* list)
{
    const QIcon cover(assetPath("news-default.png"));
    struct Sample { const char* title; const char* date; const char* text; };
    const Sample samples[] = {
        {"The Ember Citadel opens its gates", "12.05.2025",
         "A new stronghold rises above the valley. Gather your company, claim the beacon towers "
         "and hold the passes through the long night before the frost giants return."},
        {"Festival of Lanterns", "03.05.2025", "Lanterns over the harbour for a whole week."},
        {"Server maintenance", "28.04.2025", "The realm rests for two hours on Thursday."},
    };
    for (const Sample& sample : samples) {
        auto* item = new QListWidgetItem(cover, QString::fromUtf8(sample.title), list);
        item->setData(Qt::UserRole + 3, QString::fromUtf8(sample.title));
        item->setData(Qt::UserRole + 4, QString::fromLatin1(sample.date));
        item->setData(Qt::UserRole + 5, QStringLiteral("<p>%1</p>").arg(QString::fromUtf8(sample.text)));
    }
    for (int row = 1; row < list->count(); ++row)
        list->item(row)->setHidden(true);
    list->setCurrentRow(0);
}

void renderWidgets(Gallery& gallery)
{
    const QPixmap normal(assetPath("play-button-normal.png"));
    const QPixmap active(assetPath("play-button-active.png"));
    const std::initializer_list<State> buttonStates = {Normal, Hover, Pressed, Disabled};

    gallery.states(QStringLiteral("play-button"), QSize(246, 74), buttonStates, [&] {
        auto* b = new FantasyLaunchButton(normal, active);
        b->setText(translate("Main/Play", "PLAY"));
        return b;
    });
    const char* const utilityNames[] = {"utility-check", "utility-pause", "utility-settings"};
    for (int kind = 0; kind < 3; ++kind)
        gallery.states(QLatin1String(utilityNames[kind]), QSize(52, 52), buttonStates, [&] {
            return new GameUtilityButton(static_cast<UtilityKind>(kind), normal, active);
        });
    gallery.states(QStringLiteral("utility-resume"), QSize(52, 52), buttonStates, [&] {
        auto* b = new GameUtilityButton(UtilityKind::PauseResume, normal, active);
        b->setProperty("resumeGlyph", true);
        return b;
    });
    for (int value : {0, 3, 45, 100}) {
        auto* bar = new FantasyProgressBar;
        bar->setRange(0, 100);
        bar->setValue(value);
        bar->setTextVisible(false);
        gallery.widget(QStringLiteral("progress-%1").arg(value), bar, Normal, QSize(420, 16));
    }
    gallery.states(QStringLiteral("window-minimize"), QSize(34, 30), {Normal, Hover},
                   [] { return new WindowControlButton(WindowControlKind::Minimize); });
    gallery.states(QStringLiteral("window-close"), QSize(34, 30), {Normal, Hover},
                   [] { return new WindowControlButton(WindowControlKind::Close); });
    gallery.states(QStringLiteral("dialog-close"), QSize(30, 30), {Normal, Hover},
                   [] { return new DialogCloseButton; });
    gallery.states(QStringLiteral("language"), QSize(48, 34), {Normal, Hover}, [] {
        auto* b = new LanguageDropdownButton;
        b->setProperty("selectedLanguage", QStringLiteral("ru"));
        return b;
    });
    gallery.states(QStringLiteral("news-previous"), QSize(34, 206), {Normal, Hover},
                   [] { return new NewsSliderArrow(false); });
    gallery.states(QStringLiteral("news-next"), QSize(34, 206), {Normal, Hover},
                   [] { return new NewsSliderArrow(true); });
    struct Art { const char* name; const char* art; const char* ru; const char* en; const char* textRu; const char* textEn; };
    const Art arts[] = {
        {"knowledge", "nav-knowledge.png", "nav-label-knowledge-ru.png", "nav-label-knowledge-en.png", "База знаний", "Knowledge base"},
        {"support", "nav-support.png", "nav-label-support-ru.png", "nav-label-support-en.png", "Поддержка", "Support"},
        {"streams", "nav-streams.png", "nav-label-streams-ru.png", "nav-label-streams-en.png", "Трансляции", "Streams"},
    };
    for (const Art& art : arts) {
        for (bool russian : {false, true}) {
            gallery.states(QStringLiteral("artwork-%1-%2").arg(QLatin1String(art.name),
                                                              russian ? QStringLiteral("ru") : QStringLiteral("en")),
                           QSize(200, 150), {Normal, Hover}, [&] {
                auto* b = new ArtworkNavigationButton(QPixmap(assetPath(art.art)), QPixmap(assetPath(art.ru)),
                                                      QPixmap(assetPath(art.en)));
                b->setText(QString::fromUtf8(russian ? art.textRu : art.textEn));
                return b;
            });
        }
    }
    gallery.states(QStringLiteral("profile-modern"), QSize(262, 55), {Normal, Hover}, [] {
        auto* b = new ProfileOptionButton;
        b->setProperty("profileTitle", QStringLiteral("MODERN"));
        b->setProperty("profileSubtitle", translate("Main/ModernClient", "Recommended client"));
        return b;
    });
    gallery.states(QStringLiteral("profile-legacy"), QSize(262, 55), {Normal, Hover, Checked, CheckedHover}, [] {
        auto* b = new ProfileOptionButton;
        b->setProperty("profileTitle", QStringLiteral("LEGACY"));
        b->setProperty("profileSubtitle", translate("Main/LegacyClient", "Compatibility client"));
        b->setProperty("profileAccent", true);
        return b;
    });
    gallery.states(QStringLiteral("check-box"), QSize(200, 23), {Normal, Hover, Checked, Disabled}, [] {
        return new StyledCheckBox(translate("Main/UseMirror", "Use mirror"));
    });
    // Spin and combo boxes with the mouse resting on an arrow, in the dialog's style sheet.
    for (bool hovered : {false, true}) {
        LauncherDialog host(QStringLiteral("Arrows"));
        auto* spin = new StyledSpinBox(&host);
        spin->setRange(1, 1440);
        spin->setValue(30);
        auto* combo = new StyledComboBox(&host);
        combo->addItems({QStringLiteral("English"), QStringLiteral("Русский")});
        for (QWidget* w : std::initializer_list<QWidget*>{spin, combo}) {
            w->setFixedWidth(200);
            host.bodyLayout()->addWidget(w);
        }
        host.show();
        QCoreApplication::processEvents();
        if (hovered) {
            QStyleOptionSpinBox option;
            option.initFrom(spin);
            option.subControls = QStyle::SC_All;
            option.buttonSymbols = spin->buttonSymbols();
            const QPoint up = spin->style()->subControlRect(QStyle::CC_SpinBox, &option,
                                                            QStyle::SC_SpinBoxUp, spin).center();
            QMouseEvent onSpin(QEvent::MouseMove, up, spin->mapToGlobal(up), Qt::NoButton,
                               Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(spin, &onSpin);
            const QPoint arrow = combo->arrowArea().center();
            QMouseEvent onCombo(QEvent::MouseMove, arrow, combo->mapToGlobal(arrow), Qt::NoButton,
                                Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(combo, &onCombo);
        }
        QCoreApplication::processEvents();
        gallery.save(QStringLiteral("widget-arrows-%1").arg(hovered ? "hover" : "normal"), host.grab());
    }
    {
        auto* cover = new NewsCoverLabel;
        cover->setPixmap(QPixmap(assetPath("news-default.png")));
        gallery.widget(QStringLiteral("news-cover"), cover, Normal, QSize(420, 240));
        gallery.widget(QStringLiteral("backdrop"), new LauncherBackdrop(QPixmap(assetPath("launcher-hero-v2.png"))),
                       Normal, QSize(960, 540));
    }
    for (double scale : {1.0, 1.5}) {
        for (bool selected : {false, true}) {
            auto* list = new QListWidget;
            list->setItemDelegate(new NewsCardDelegate(list));
            list->setViewMode(QListView::IconMode);
            list->setFlow(QListView::LeftToRight);
            list->setWrapping(false);
            list->setStyleSheet(QStringLiteral("QListWidget{background:transparent;border:0;}"));
            list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            list->setProperty("newsScale", scale);
            addSampleNews(list);
            if (!selected)
                list->clearSelection();
            const QSize size(int(600 * scale), int(206 * scale));
            list->setGridSize(QSize(size.width() - 1, int(200 * scale)));
            gallery.widget(QStringLiteral("news-card-x%1-%2").arg(scale).arg(selected ? "selected" : "plain"),
                           list, Normal, size);
        }
    }
}

void renderDialogs(Gallery& gallery)
{
    const LauncherMessageKind kinds[] = {LauncherMessageKind::Information, LauncherMessageKind::Warning,
                                         LauncherMessageKind::Error};
    const char* const names[] = {"information", "warning", "error"};
    for (int i = 0; i < 3; ++i) {
        std::unique_ptr<LauncherDialog> box(createLauncherMessage(
            nullptr, translate("Main/LaunchTitle", "Game launch"),
            translate("Main/FileMissing", "File not found: %1").arg(QStringLiteral("C:/Games/Ostravel/System/vorn.exe")),
            kinds[i]));
        box->show();
        QCoreApplication::processEvents();
        gallery.save(QStringLiteral("dialog-message-%1").arg(QLatin1String(names[i])), box->grab());
    }
    LauncherDialog form(translate("Settings/Title", "Launcher settings"));
    auto* combo = new StyledComboBox(&form);
    combo->addItems({QStringLiteral("English"), QStringLiteral("Русский")});
    auto* spin = new StyledSpinBox(&form);
    spin->setRange(1, 1440);
    spin->setValue(30);
    auto* check = new StyledCheckBox(translate("Settings/AutoUpdate", "Download updates automatically"), &form);
    check->setChecked(true);
    auto* hint = new QLabel(translate("Settings/GameFolderHint", "Full path to the folder containing the game files"), &form);
    hint->setObjectName(QStringLiteral("secondaryText"));
    auto* ok = new QPushButton(translate("Settings/Ok", "OK"), &form);
    ok->setObjectName(QStringLiteral("primaryButton"));
    auto* cancel = new QPushButton(translate("Settings/Cancel", "Cancel"), &form);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    for (QWidget* w : std::initializer_list<QWidget*>{combo, spin, check, hint})
        form.bodyLayout()->addWidget(w);
    form.bodyLayout()->addLayout(buttons);
    form.resize(420, 10);
    form.show();
    QCoreApplication::processEvents();
    gallery.save(QStringLiteral("dialog-form"), form.grab());

    SettingsDialog settings;
    settings.show();
    QCoreApplication::processEvents();
    gallery.save(QStringLiteral("dialog-settings"), settings.grab());
    ProxySettings manual;
    manual.mode = ProxyMode::ManualHttp;
    manual.host = QStringLiteral("proxy.example");
    manual.port = 3128;
    manual.user = QStringLiteral("player");
    manual.password = QStringLiteral("secret");
    ProxyDialog proxy(manual);
    proxy.show();
    QCoreApplication::processEvents();
    gallery.save(QStringLiteral("dialog-proxy"), proxy.grab());

    // The fixed tool tip, as the application's filter shows it for a button.
    auto* filter = qApp->findChild<FixedToolTipFilter*>();
    QPushButton anchor(translate("Main/Settings", "Settings"));
    anchor.setToolTip(translate("Main/UseMirrorHint", "Use the additional update server"));
    anchor.move(200, 300);
    anchor.show();
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), anchor.mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(&anchor, &help);
    if (filter)
        gallery.save(QStringLiteral("tooltip"), filter->tipLabel()->grab());
}

void renderWindows(Gallery& gallery, const QString& localesDir)
{
    for (const QString& language : {QStringLiteral("ru"), QStringLiteral("en")}) {
        setLanguage(language);
        (void)loadCatalogues(language, localesDir);
        for (const QSize& size : {QSize(1060, 620), QSize(1600, 900)}) {
            for (bool log : {false, true}) {
                if (log && size.width() != 1060)
                    continue;
                QMainWindow window;
                auto* view = new MainWindowView(&window);
                addSampleNews(view->newsCard().newsList);
                view->setLogVisible(log);
                if (log) {
                    view->appendLogLine(QStringLiteral("[14:03:59] [UPD-START] Starting update 2025.05.12"));
                    view->appendLogLine(QStringLiteral("[14:04:02] [UPD-DOWNLOAD] 132/480 MB"));
                    // Mid-update, without a controller to say so: the footer is set by hand.
                    window.findChild<FantasyProgressBar*>()->setValue(27);
                    window.findChild<QLabel*>(QStringLiteral("progressPercent"))->setText(QStringLiteral("27%"));
                }
                for (auto* option : window.findChildren<ProfileOptionButton*>(QStringLiteral("profileOption"))) {
                    if (option->property("profileTitle").toString() == QLatin1String("LEGACY"))
                        option->setChecked(true);
                }
                window.resize(size);
                window.show();
                view->rescaleNews(window.size());
                QCoreApplication::processEvents();
                view->rescaleNews(window.size());
                QCoreApplication::processEvents();
                gallery.save(QStringLiteral("window-%1x%2-%3%4")
                                 .arg(size.width())
                                 .arg(size.height())
                                 .arg(language, log ? QStringLiteral("-log") : QString()),
                             window.grab());
            }
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    prepareApplication(app);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("out"), QStringLiteral("Folder for the PNG files."), QStringLiteral("dir")});
    parser.addOption({QStringLiteral("locales"), QStringLiteral("Folder with the catalogues."), QStringLiteral("dir")});
    parser.addOption({QStringLiteral("grab-screen"), QStringLiteral("Save the whole screen to this file and stop."),
                      QStringLiteral("file")});
    parser.addOption({QStringLiteral("area"), QStringLiteral("With --grab-screen: only this part, x,y,width,height."),
                      QStringLiteral("area")});
    parser.process(app);

    if (parser.isSet(QStringLiteral("grab-screen"))) {
        QScreen* screen = QGuiApplication::primaryScreen();
        QRect area(0, 0, -1, -1);
        const QStringList parts = parser.value(QStringLiteral("area")).split(QLatin1Char(','));
        if (parts.size() == 4)
            area = QRect(parts[0].toInt(), parts[1].toInt(), parts[2].toInt(), parts[3].toInt());
        const QPixmap shot = screen ? screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()) : QPixmap();
        return !shot.isNull() && shot.save(parser.value(QStringLiteral("grab-screen")), "PNG") ? 0 : 1;
    }
    if (!parser.isSet(QStringLiteral("out"))) {
        std::fprintf(stderr, "vorn-gallery: --out DIR is required\n");
        return 2;
    }
    const QDir out(parser.value(QStringLiteral("out")));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "vorn-gallery: cannot create %s\n", qPrintable(out.path()));
        return 1;
    }
    const QString localesDir = parser.isSet(QStringLiteral("locales"))
                                   ? parser.value(QStringLiteral("locales"))
                                   : QCoreApplication::applicationDirPath() + QStringLiteral("/locales");

    // The windows read launcher.ini; keep the gallery's away from any real one.
    QTemporaryDir settings;
    setLauncherDirectory(settings.path());

    Gallery gallery(out);
    (void)loadCatalogues(QStringLiteral("en"), localesDir);
    renderWidgets(gallery);
    gallery.saveSheet(QStringLiteral("sheet-widgets"), 1400);
    renderDialogs(gallery);
    renderWindows(gallery, localesDir);
    return gallery.ok() ? 0 : 1;
}
