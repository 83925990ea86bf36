#pragma once

#include <QMainWindow>

namespace vorn {

class MainWindowView;

class MainWindow final : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

public slots:
    void bringToFront();
    // Stores the language, reloads the catalogues and relabels the window in place.
    void retranslate(const QString& language);

protected:
    bool nativeEvent(const QByteArray& eventType, void* message, long* result) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    MainWindowView* m_view = nullptr; // child of the window
};

} // namespace vorn
