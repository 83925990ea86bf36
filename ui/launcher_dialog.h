#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QVBoxLayout;

namespace vorn {

class DialogCloseButton;

// Frameless, draggable dialog with the launcher's own title bar; subclasses fill bodyLayout().
class LauncherDialog : public QDialog
{
    Q_OBJECT
public:
    explicit LauncherDialog(const QString& title, QWidget* parent = nullptr);

    [[nodiscard]] QVBoxLayout* bodyLayout() const { return m_bodyLayout; }
    [[nodiscard]] QWidget* titleBar() const { return m_titleBar; }
    [[nodiscard]] QLabel* titleLabel() const { return m_title; }
    [[nodiscard]] DialogCloseButton* closeButton() const { return m_close; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QFrame* m_frame = nullptr;
    QWidget* m_titleBar = nullptr;
    QLabel* m_title = nullptr;
    DialogCloseButton* m_close = nullptr;
    QWidget* m_body = nullptr;
    QVBoxLayout* m_bodyLayout = nullptr;
    bool m_shownOnce = false;
};

} // namespace vorn
