#pragma once

class QLabel;
class QWidget;

namespace vorn {

// The chronicle card at the top of the right column: the game's logo in the chosen language
// (relabelling swaps it through the two paths it carries).
struct ChronicleCardRegion
{
    QWidget* chronicleCard = nullptr;
    QLabel* chronicleLogo = nullptr;

    void buildChronicleCard(QWidget* parent);
};

} // namespace vorn
