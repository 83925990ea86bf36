#pragma once

#include "ui/main_view_model.h"

#include <QVector>

class QButtonGroup;
class QComboBox;
class QLabel;
class QWidget;

namespace vorn {

class ProfileOptionButton;

// The client card: which game client PLAY starts. The modern client is announced and never
// chosen; the legacy one, or an entry of the selector, is the player's choice.
struct ClientCardRegion
{
    QWidget* profileCard = nullptr;
    QLabel* profileTitle = nullptr;
    QComboBox* profileCombo = nullptr;
    ProfileOptionButton* modernOption = nullptr;
    ProfileOptionButton* legacyOption = nullptr;
    QButtonGroup* profileGroup = nullptr;
    QLabel* profileHint = nullptr;

    void buildClientCard(QWidget* parent);
    // The selector's entries, the options shown and the card's height as the model says;
    // setting the selector here is not heard as the player's choice.
    void applyProfiles(const MainViewModel& model);
    // The options' subtitles, which no bound text covers.
    void refreshProfileTexts();

private:
    QVector<ProfileEntry> m_profiles;
};

} // namespace vorn
