#include "ui/window_regions/footer.h"

#include "config/localization.h"
#include "ui/fantasy_launch_button.h"
#include "ui/fantasy_progress_bar.h"
#include "ui/game_utility_button.h"
#include "ui/images.h"
#include "ui/relabel.h"
#include "ui/style.h"
#include "ui/styled_check_box.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <QVariant>

namespace vorn {

void FooterRegion::buildFooter(QWidget* parent)
{
    footer = new QWidget(parent);
    footer->setObjectName(QStringLiteral("footer"));
    footer->setAttribute(Qt::WA_StyledBackground);
    footer->setFixedHeight(style::kFooterHeight);
    auto* layout = new QHBoxLayout(footer);
    layout->setContentsMargins(23, 9, 19, 11);
    layout->setSpacing(11);

    auto* left = new QVBoxLayout;
    left->setSpacing(5);
    auto* checks = new QHBoxLayout;
    proxyCheck = new StyledCheckBox(translate("Main/UseProxySettings", "Use proxy settings"), footer);
    proxyCheck->setObjectName(QStringLiteral("footerProxyCheck"));
    bindLocale(proxyCheck, "Main/UseProxySettings", "Use proxy settings");
    proxyCheck->setToolTip(translate("Main/UseProxySettingsHint",
                                     "Использовать прокси, выбранный в настройках лаунчера"));
    bindToolTipLocale(proxyCheck, "Main/UseProxySettingsHint",
                      "Использовать прокси, выбранный в настройках лаунчера");
    checks->addWidget(proxyCheck);
    checks->addSpacing(18);
    mirrorCheck = new StyledCheckBox(translate("Main/UseMirror", "Use mirror"), footer);
    mirrorCheck->setObjectName(QStringLiteral("footerMirrorCheck"));
    bindLocale(mirrorCheck, "Main/UseMirror", "Use mirror");
    mirrorCheck->setMinimumHeight(style::kCheckMinHeight);
    mirrorCheck->setToolTip(translate("Main/UseMirrorHint", "Use the additional update server"));
    bindToolTipLocale(mirrorCheck, "Main/UseMirrorHint", "Use the additional update server");
    checks->addWidget(mirrorCheck);
    checks->addStretch();
    progressPercent = new QLabel(QStringLiteral("0%"), footer);
    progressPercent->setObjectName(QStringLiteral("progressPercent"));
    checks->addWidget(progressPercent);
    left->addLayout(checks);

    progressBar = new FantasyProgressBar(footer);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);
    progressBar->setFixedHeight(style::kProgressBarHeight);
    left->addWidget(progressBar);

    auto* statusRow = new QHBoxLayout;
    statusLabel = new QLabel(translate("Main/Preparing", "Preparing..."), footer);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    // Server and engine messages and file names: shown as written, never as markup.
    statusLabel->setTextFormat(Qt::PlainText);
    bindLocale(statusLabel, "Main/Preparing", "Preparing...");
    statusLabel->setWordWrap(false);
    statusLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusRow->addWidget(statusLabel, 1);
    statusRow->addStretch();
    left->addLayout(statusRow);
    layout->addLayout(left, 1);

    const QPixmap plateNormal(assetPath("play-button-normal.png"));
    const QPixmap plateActive(assetPath("play-button-active.png"));
    checkButton = new GameUtilityButton(UtilityKind::CheckUpdate, plateNormal, plateActive, footer);
    checkButton->setToolTip(translate("Main/Check", "Check"));
    bindToolTipLocale(checkButton, "Main/Check", "Check");
    pauseButton = new GameUtilityButton(UtilityKind::PauseResume, plateNormal, plateActive, footer);
    pauseButton->setToolTip(translate("Main/Pause", "Pause"));
    bindToolTipLocale(pauseButton, "Main/Pause", "Pause");
    pauseButton->setEnabled(false);
    pauseButton->hide();
    settingsButton = new GameUtilityButton(UtilityKind::Settings, plateNormal, plateActive, footer);
    settingsButton->setToolTip(translate("Main/Settings", "Settings"));
    bindToolTipLocale(settingsButton, "Main/Settings", "Settings");
    for (GameUtilityButton* button : {checkButton, pauseButton, settingsButton}) {
        button->setObjectName(QStringLiteral("gameUtilityButton"));
        button->setFixedSize(style::kUtilityButtonSize, style::kUtilityButtonSize);
        button->setCursor(Qt::PointingHandCursor);
        layout->addWidget(button, 0, Qt::AlignVCenter);
    }

    auto* play = new QVBoxLayout;
    play->setContentsMargins(0, 8, 0, 0);
    play->setSpacing(0);
    playButton = new FantasyLaunchButton(plateNormal, plateActive, footer);
    playButton->setObjectName(QStringLiteral("playButton"));
    playButton->setFixedSize(style::kPlayButtonWidth, style::kPlayButtonHeight);
    playButton->setCursor(Qt::PointingHandCursor);
    playButton->setText(translate("Main/Play", "PLAY"));
    bindLocale(playButton, "Main/Play", "PLAY");
    play->addWidget(playButton, 0, Qt::AlignTop);
    releaseLabel = new QLabel(translate("Main/VersionNotChecked", "Version has not been checked yet"),
                              footer);
    releaseLabel->setObjectName(QStringLiteral("releaseLabel"));
    releaseLabel->setTextFormat(Qt::PlainText);
    bindLocale(releaseLabel, "Main/VersionNotChecked", "Version has not been checked yet");
    releaseLabel->setFixedSize(style::kPlayButtonWidth, style::kReleaseLabelHeight);
    releaseLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    play->addWidget(releaseLabel, 0, Qt::AlignRight);
    layout->addLayout(play);
}

void FooterRegion::applyFooter(const MainViewModel& model)
{
    statusLabel->setText(model.status);
    releaseLabel->setText(model.release);
    progressBar->setValue(model.progress);
    progressPercent->setText(model.percentText);

    // The two share one place in the footer; hiding first keeps the row from widening.
    if (model.checkVisible) {
        pauseButton->setVisible(false);
        checkButton->setVisible(true);
    } else {
        checkButton->setVisible(false);
        pauseButton->setVisible(model.pauseVisible);
    }
    checkButton->setEnabled(model.checkEnabled);
    checkButton->setToolTip(model.checkToolTip);
    pauseButton->setEnabled(model.pauseEnabled);
    pauseButton->setToolTip(model.pauseToolTip);
    if (pauseButton->property("resumeGlyph").toBool() != model.pauseShowsResume) {
        pauseButton->setProperty("resumeGlyph", model.pauseShowsResume);
        pauseButton->update();
    }
    playButton->setEnabled(model.playEnabled);

    for (QCheckBox* box : {static_cast<QCheckBox*>(proxyCheck), static_cast<QCheckBox*>(mirrorCheck)}) {
        const QSignalBlocker blocker(box);
        box->setChecked(box == proxyCheck ? model.proxyChecked : model.mirrorChecked);
    }
    mirrorCheck->setEnabled(model.mirrorEnabled);
}

} // namespace vorn
