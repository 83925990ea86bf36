#pragma once

#include "ui/main_view_model.h"

class QLabel;
class QWidget;

namespace vorn {

class FantasyLaunchButton;
class FantasyProgressBar;
class GameUtilityButton;
class StyledCheckBox;

// The footer: the proxy and mirror choices, the progress and status of the update, the check,
// pause and settings buttons, PLAY and the release it starts.
struct FooterRegion
{
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

    void buildFooter(QWidget* parent);
    // Everything but the client card; the check boxes change without being heard.
    void applyFooter(const MainViewModel& model);
};

} // namespace vorn
