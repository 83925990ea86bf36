#pragma once

#include <QWidget>

namespace vorn {

class MainWindow final : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

public slots:
    void bringToFront();

protected:
    bool nativeEvent(const QByteArray& eventType, void* message, long* result) override;
};

} // namespace vorn
