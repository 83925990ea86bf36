#pragma once

#include <QPixmap>
#include <QPushButton>

namespace vorn {

enum class UtilityKind { CheckUpdate = 0, PauseResume = 1, Settings = 2 };

// The square footer buttons (check/update, pause/resume, settings): the Play plate with a glyph.
class GameUtilityButton final : public QPushButton
{
    Q_OBJECT
public:
    GameUtilityButton(UtilityKind kind, const QPixmap& normal, const QPixmap& active,
                      QWidget* parent = nullptr);

    [[nodiscard]] UtilityKind kind() const { return m_kind; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    UtilityKind m_kind;
    QPixmap m_normal;
    QPixmap m_active;
};

} // namespace vorn
