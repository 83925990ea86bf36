#pragma once

#include "net/proxy_settings.h"
#include "ui/launcher_dialog.h"

class QLineEdit;
class QPushButton;

namespace vorn {

class StyledComboBox;
class StyledSpinBox;

// Proxy mode and, for a manual proxy, its address and credentials. The stored password fills
// the password field masked; it is never shown, copied or logged.
class ProxyDialog final : public LauncherDialog
{
    Q_OBJECT
public:
    explicit ProxyDialog(const ProxySettings& initial, QWidget* parent = nullptr);

    [[nodiscard]] ProxySettings settings() const;

    StyledComboBox* modeCombo = nullptr;
    QWidget* manualGroup = nullptr;
    QLineEdit* hostEdit = nullptr;
    StyledSpinBox* portSpin = nullptr;
    QLineEdit* userEdit = nullptr;
    QLineEdit* passwordEdit = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;

private:
    void showManualFields();
};

} // namespace vorn
