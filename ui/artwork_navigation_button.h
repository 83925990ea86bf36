#pragma once

#include <QPixmap>
#include <QPushButton>

namespace vorn {

// An artwork panel with a caption image; the caption follows the language of the text.
class ArtworkNavigationButton final : public QPushButton
{
    Q_OBJECT
public:
    ArtworkNavigationButton(const QPixmap& artwork, const QPixmap& captionRu,
                            const QPixmap& captionEn, QWidget* parent = nullptr);

    // Whether the Russian caption is shown for the current text.
    [[nodiscard]] bool showsRussianCaption() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_artwork;
    QPixmap m_captionRu;
    QPixmap m_captionEn;
};

} // namespace vorn
