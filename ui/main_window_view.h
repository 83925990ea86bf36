#pragma once

#include "ui/launcher_message.h"
#include "ui/main_view_model.h"
#include "ui/window_regions/activity_log.h"
#include "ui/window_regions/chronicle_card.h"
#include "ui/window_regions/client_card.h"
#include "ui/window_regions/footer.h"
#include "ui/window_regions/news_card.h"
#include "ui/window_regions/tiles.h"
#include "ui/window_regions/title_bar.h"

#include <QObject>
#include <QSize>

class QAbstractButton;
class QHBoxLayout;
class QMainWindow;
class QVBoxLayout;
class QWidget;

// The layout tests measure the built tree.
class TestMainWindow;
class TestMainWindowView;

namespace vorn {

class LauncherBackdrop;

// The window's links to the game's pages; what each opens is the controller's to decide.
enum class WindowLink { Site, Community, Messenger, Knowledge, Support, Streams };
inline constexpr WindowLink kWindowLinks[] = {WindowLink::Site,      WindowLink::Community,
                                              WindowLink::Messenger, WindowLink::Knowledge,
                                              WindowLink::Support,   WindowLink::Streams};

// The height left for the news list in a window of that height.
[[nodiscard]] int newsRoomFor(int windowHeight, bool logShown);

// The news cards' scale for a window size: grows with the window from 1.0 up to 1.5.
[[nodiscard]] double newsScaleForWindow(const QSize& windowSize);

// Builds the main window into a QMainWindow from its regions: title bar, news card, tiles,
// chronicle and client cards, log and footer. It lays out and labels; what the controls do is
// the controller's, which hears the user through the request signals and shows its state
// through the setters below. The regions' widgets are its own (and the layout tests').
class MainWindowView final : public QObject,
                             private TitleBarRegion,
                             private NewsCardRegion,
                             private TilesRegion,
                             private ChronicleCardRegion,
                             private ClientCardRegion,
                             private LogRegion,
                             private FooterRegion
{
    Q_OBJECT
public:
    explicit MainWindowView(QMainWindow* window);

    // The log and the 12 px it takes from the right column.
    void setLogVisible(bool visible);
    // Relabels every bound text, the language button and the chronicle logo for language
    // (the catalogues must already be loaded for it).
    void applyLanguage(const QString& language);
    // News cards follow the window size.
    void rescaleNews(const QSize& windowSize);

    // Footer, client card and check boxes as the controller's state says.
    void apply(const MainViewModel& model);
    // One finished line of the activity log; the oldest lines drop out past the limit.
    void appendLogLine(const QString& line);
    // The launcher's message box, window-modal and not waited for: the controller's engines
    // keep running while it is open.
    void showMessage(const QString& title, const QString& text, LauncherMessageKind kind);
    // A link with nothing safe to open is shown but cannot be clicked.
    void setLinkEnabled(WindowLink link, bool enabled);
    // The news card's widgets, for the news feed that fills them.
    [[nodiscard]] const NewsCardRegion& newsCard() const { return *this; }

signals:
    // An entry of the language menu was chosen ("ru" or "en").
    void languageChosen(const QString& code);
    void checkRequested();
    void pauseRequested();
    void playRequested();
    void settingsRequested();
    void proxyToggled(bool checked);
    void mirrorToggled(bool checked);
    // The user picked a client (the selector or the legacy option).
    void profileChosen(const QString& id);
    void linkRequested(vorn::WindowLink link);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class ::TestMainWindow;
    friend class ::TestMainWindowView;

    void buildContent(QVBoxLayout* frameLayout);
    void buildLeftColumn(QHBoxLayout* contentLayout);
    void buildRightColumn(QHBoxLayout* contentLayout);
    void connectRequests();
    [[nodiscard]] QList<QAbstractButton*> linkButtons(WindowLink link) const;

    QMainWindow* window;
    LauncherBackdrop* frame = nullptr;
    QWidget* contentArea = nullptr;
    QVBoxLayout* rightColumn = nullptr;
};

} // namespace vorn
