#include "ui/window_regions/chronicle_card.h"

#include "config/settings.h"
#include "ui/images.h"
#include "ui/style.h"

#include <QLabel>
#include <QVBoxLayout>

namespace vorn {

void ChronicleCardRegion::buildChronicleCard(QWidget* parent)
{
    chronicleCard = new QWidget(parent);
    chronicleCard->setObjectName(QStringLiteral("chronicleCard"));
    chronicleCard->setAttribute(Qt::WA_StyledBackground);
    chronicleCard->setFixedSize(style::kCardWidth, style::kChronicleCardHeight);
    auto* chronicle = new QVBoxLayout(chronicleCard);
    chronicle->setContentsMargins(0, 0, 0, 0);
    chronicle->setSpacing(0);
    chronicle->addStretch();
    chronicleLogo = new QLabel(chronicleCard);
    chronicleLogo->setObjectName(QStringLiteral("chronicleLogo"));
    chronicleLogo->setAlignment(Qt::AlignCenter);
    chronicleLogo->setProperty("chronicleLogoRu", assetPath("chronicle-logo-ru.png"));
    chronicleLogo->setProperty("chronicleLogoEn", assetPath("chronicle-logo-en.png"));
    chronicleLogo->setPixmap(chronicleLogoFor(language(), assetPath("chronicle-logo-ru.png"),
                                              assetPath("chronicle-logo-en.png"),
                                              chronicleLogo->devicePixelRatioF()));
    chronicle->addWidget(chronicleLogo);
    chronicle->addStretch();
}

} // namespace vorn
