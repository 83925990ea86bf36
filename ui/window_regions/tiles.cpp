#include "ui/window_regions/tiles.h"

#include "config/localization.h"
#include "ui/artwork_navigation_button.h"
#include "ui/images.h"
#include "ui/relabel.h"
#include "ui/style.h"

#include <QHBoxLayout>

namespace vorn {

namespace {

ArtworkNavigationButton* artworkButton(const char* artwork, const char* captionRu,
                                       const char* captionEn, QWidget* parent)
{
    auto* button = new ArtworkNavigationButton(QPixmap(assetPath(artwork)),
                                               QPixmap(assetPath(captionRu)),
                                               QPixmap(assetPath(captionEn)), parent);
    button->setObjectName(QStringLiteral("artNavigationButton"));
    button->setFixedSize(style::kArtworkButtonWidth, style::kArtworkButtonHeight);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace

void TilesRegion::buildTiles(QWidget* parent)
{
    navigationPanel = new QWidget(parent);
    navigationPanel->setObjectName(QStringLiteral("navigationPanel"));
    navigationPanel->setAttribute(Qt::WA_StyledBackground);
    navigationPanel->setFixedHeight(style::kNavigationPanelHeight);
    navigationPanel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* navigation = new QHBoxLayout(navigationPanel);
    navigation->setContentsMargins(0, 0, 0, 0);
    navigation->setSpacing(8);
    navigation->addStretch();
    knowledgeButton = artworkButton("nav-knowledge.png", "nav-label-knowledge-ru.png",
                                    "nav-label-knowledge-en.png", navigationPanel);
    knowledgeButton->setText(translate("Main/Knowledge", "KNOWLEDGE BASE"));
    bindLocale(knowledgeButton, "Main/Knowledge", "KNOWLEDGE BASE");
    knowledgeButton->setToolTip(translate("Main/Knowledge", "Knowledge base"));
    bindToolTipLocale(knowledgeButton, "Main/Knowledge", "Knowledge base");
    supportButton = artworkButton("nav-support.png", "nav-label-support-ru.png",
                                  "nav-label-support-en.png", navigationPanel);
    supportButton->setText(translate("Main/Support", "SUPPORT"));
    bindLocale(supportButton, "Main/Support", "SUPPORT");
    supportButton->setToolTip(translate("Main/Support", "Support"));
    bindToolTipLocale(supportButton, "Main/Support", "Support");
    streamsButton = artworkButton("nav-streams.png", "nav-label-streams-ru.png",
                                  "nav-label-streams-en.png", navigationPanel);
    streamsButton->setText(translate("Main/Streams", "STREAMS"));
    bindLocale(streamsButton, "Main/Streams", "STREAMS");
    streamsButton->setToolTip(translate("Main/Streams", "Streams"));
    bindToolTipLocale(streamsButton, "Main/Streams", "Streams");
    for (ArtworkNavigationButton* button : {knowledgeButton, supportButton, streamsButton})
        navigation->addWidget(button, 0, Qt::AlignVCenter);
    navigation->addStretch();
}

} // namespace vorn
