#pragma once

class QWidget;

namespace vorn {

class ArtworkNavigationButton;

// The tiles under the news: the painted links to the knowledge base, support and streams.
struct TilesRegion
{
    QWidget* navigationPanel = nullptr;
    ArtworkNavigationButton* knowledgeButton = nullptr;
    ArtworkNavigationButton* supportButton = nullptr;
    ArtworkNavigationButton* streamsButton = nullptr;

    void buildTiles(QWidget* parent);
};

} // namespace vorn
