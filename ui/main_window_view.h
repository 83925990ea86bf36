#pragma once

#include "ui/launcher_message.h"
#include "ui/main_view_model.h"

#include <QObject>
#include <QSize>

class QAbstractButton;
class QAction;
class QButtonGroup;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QListWidget;
class QMainWindow;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTextBrowser;
class QVBoxLayout;
class QWidget;

namespace vorn {

class ArtworkNavigationButton;
class FantasyLaunchButton;
class FantasyProgressBar;
class GameUtilityButton;
class LanguageDropdownButton;
class LauncherBackdrop;
class NewsCoverLabel;
class NewsSliderArrow;
class ProfileOptionButton;
class StyledCheckBox;
class WindowControlButton;

// The window's links to the game's pages; what each opens is the controller's to decide.
enum class WindowLink { Site, Community, Messenger, Knowledge, Support, Streams };
inline constexpr WindowLink kWindowLinks[] = {WindowLink::Site,      WindowLink::Community,
                                              WindowLink::Messenger, WindowLink::Knowledge,
                                              WindowLink::Support,   WindowLink::Streams};

// The height left for the news list in a window of that height.
[[nodiscard]] int newsRoomFor(int windowHeight, bool logShown);

// The news cards' scale for a window size: grows with the window from 1.0 up to 1.5.
[[nodiscard]] double newsScaleForWindow(const QSize& windowSize);

// Builds the main window's widget tree into a QMainWindow. It lays out and labels; what the
// controls do is the controller's, which hears the user through the request signals and shows
// its state through apply(). The widget pointers are for layout, painting and tests.
class MainWindowView final : public QObject
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

    QMainWindow* window;
    LauncherBackdrop* frame = nullptr;
    QWidget* titleBar = nullptr;
    QPushButton* headerLogo = nullptr;
    QPushButton* brandWordmark = nullptr;
    QPushButton* discordButton = nullptr;
    QPushButton* telegramButton = nullptr;
    LanguageDropdownButton* languageButton = nullptr;
    QMenu* languageMenu = nullptr;
    WindowControlButton* minimizeButton = nullptr;
    WindowControlButton* closeButton = nullptr;
    QWidget* contentArea = nullptr;
    NewsSliderArrow* previousNews = nullptr;
    NewsSliderArrow* nextNews = nullptr;
    QListWidget* newsList = nullptr;
    NewsCoverLabel* newsCover = nullptr;
    QTextBrowser* newsText = nullptr;
    QWidget* navigationPanel = nullptr;
    ArtworkNavigationButton* knowledgeButton = nullptr;
    ArtworkNavigationButton* supportButton = nullptr;
    ArtworkNavigationButton* streamsButton = nullptr;
    QVBoxLayout* rightColumn = nullptr;
    QWidget* chronicleCard = nullptr;
    QLabel* chronicleLogo = nullptr;
    QWidget* profileCard = nullptr;
    QLabel* profileTitle = nullptr;
    QComboBox* profileCombo = nullptr;
    ProfileOptionButton* modernOption = nullptr;
    ProfileOptionButton* legacyOption = nullptr;
    QButtonGroup* profileGroup = nullptr;
    QLabel* profileHint = nullptr;
    QPlainTextEdit* miniLog = nullptr;
    QWidget* footer = nullptr;
    StyledCheckBox* proxyCheck = nullptr;
    StyledCheckBox* mirrorCheck = nullptr;
    QLabel* progressPercent = nullptr;
    FantasyProgressBar* progressBar = nullptr;
    QLabel* statusLabel = nullptr;
    GameUtilityButton* checkButton = nullptr;
    GameUtilityButton* pauseButton = nullptr;
    GameUtilityButton* settingsButton = nullptr;
    FantasyLaunchButton* playButton = nullptr;
    QLabel* releaseLabel = nullptr;

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
    void buildTitleBar(QVBoxLayout* frameLayout);
    void buildContent(QVBoxLayout* frameLayout);
    void buildLeftColumn(QHBoxLayout* contentLayout);
    void buildRightColumn(QHBoxLayout* contentLayout);
    void buildFooter(QVBoxLayout* frameLayout);
    void refreshProfileTexts();
    void connectRequests();
    void applyProfiles(const MainViewModel& model);
    void fitNewsCardsToWidth();
    [[nodiscard]] QList<QAbstractButton*> linkButtons(WindowLink link) const;

    QVector<ProfileEntry> m_profiles;
    int m_newsCardHeight = 0;
};

} // namespace vorn
