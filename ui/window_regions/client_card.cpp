#include "ui/window_regions/client_card.h"

#include "config/localization.h"
#include "ui/profile_option_button.h"
#include "ui/relabel.h"
#include "ui/style.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QVBoxLayout>

namespace vorn {

void ClientCardRegion::buildClientCard(QWidget* parent)
{
    profileCard = new QWidget(parent);
    profileCard->setObjectName(QStringLiteral("profileCard"));
    profileCard->setAttribute(Qt::WA_StyledBackground);
    profileCard->setFixedSize(style::kCardWidth, style::kProfileCardHeight);
    auto* profile = new QVBoxLayout(profileCard);
    profile->setContentsMargins(15, 13, 15, 14);
    profile->setSpacing(8);
    profileTitle = new QLabel(translate("Main/GameVersion", "GAME CLIENT"), profileCard);
    profileTitle->setObjectName(QStringLiteral("profileTitle"));
    bindLocale(profileTitle, "Main/GameVersion", "GAME CLIENT");
    profile->addWidget(profileTitle);
    profileCombo = new QComboBox(profileCard);
    profileCombo->setObjectName(QStringLiteral("profileCombo"));
    profileCombo->hide();
    profile->addWidget(profileCombo);
    modernOption = new ProfileOptionButton(profileCard);
    modernOption->setObjectName(QStringLiteral("profileOption"));
    modernOption->setFixedHeight(style::kProfileOptionHeight);
    modernOption->setToolTip(translate("Main/ModernUnavailable", "In development..."));
    bindToolTipLocale(modernOption, "Main/ModernUnavailable", "In development...");
    modernOption->setProperty("profileTitle", QStringLiteral("MODERN"));
    modernOption->setProperty("profileAccent", false);
    modernOption->setProperty("profileAvailable", false);
    legacyOption = new ProfileOptionButton(profileCard);
    legacyOption->setObjectName(QStringLiteral("profileOption"));
    legacyOption->setCheckable(true);
    legacyOption->setFixedHeight(style::kProfileOptionHeight);
    legacyOption->setCursor(Qt::PointingHandCursor);
    legacyOption->setProperty("profileTitle", QStringLiteral("LEGACY"));
    legacyOption->setProperty("profileAccent", true);
    legacyOption->setProperty("profileAvailable", true);
    profileGroup = new QButtonGroup(profileCard);
    profileGroup->setExclusive(true);
    profileGroup->addButton(modernOption);
    profileGroup->addButton(legacyOption);
    profile->addWidget(modernOption);
    profile->addWidget(legacyOption);
    profileHint = new QLabel(translate("Main/CurrentClient", "Selected client"), profileCard);
    profileHint->setObjectName(QStringLiteral("profileHint"));
    bindLocale(profileHint, "Main/CurrentClient", "Selected client");
    profileHint->hide();
    profile->addWidget(profileHint);
    refreshProfileTexts();
}

void ClientCardRegion::applyProfiles(const MainViewModel& model)
{
    const QSignalBlocker blocker(profileCombo);
    if (m_profiles != model.profiles) {
        m_profiles = model.profiles;
        profileCombo->clear();
        for (const ProfileEntry& entry : model.profiles)
            profileCombo->addItem(entry.title, entry.id);
    }
    profileCombo->setCurrentIndex(profileCombo->findData(model.selectedProfile));
    modernOption->setVisible(model.modernOptionVisible);
    legacyOption->setVisible(model.legacyOptionVisible);
    // The card keeps its bottom edge and gives up the room of a client the release does not
    // offer, so a single option sits under the title instead of below an empty band.
    const int hiddenOptions = int(!model.modernOptionVisible) + int(!model.legacyOptionVisible);
    profileCard->setFixedHeight(style::kProfileCardHeight
                                - hiddenOptions * (style::kProfileOptionHeight + profileCard->layout()->spacing()));
    // The modern client is announced, never chosen: the group must not keep it checked.
    profileGroup->setExclusive(false);
    modernOption->setChecked(false);
    legacyOption->setChecked(model.legacyOptionChecked);
    profileGroup->setExclusive(true);
}

void ClientCardRegion::refreshProfileTexts()
{
    modernOption->setProperty("profileSubtitle", translate("Main/ModernClient", "Recommended client"));
    legacyOption->setProperty("profileSubtitle", translate("Main/LegacyClient", "Compatibility client"));
    modernOption->update();
    legacyOption->update();
}

} // namespace vorn
