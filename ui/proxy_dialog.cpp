#include "ui/proxy_dialog.h"

#include "config/localization.h"
#include "ui/dialog_form.h"
#include "ui/styled_combo_box.h"
#include "ui/styled_spin_box.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace vorn {

namespace {

constexpr int kMinimumWidth = 460;

} // namespace

ProxyDialog::ProxyDialog(const ProxySettings& initial, QWidget* parent)
    : LauncherDialog(translate("Proxy/Title", "Proxy settings"), parent)
{
    setMinimumWidth(kMinimumWidth);
    QVBoxLayout* body = bodyLayout();

    const bool russian = currentLanguage() == QLatin1String("ru");
    auto* description = new QLabel(
        translate("Proxy/Description", russian ? "Прокси применяется к обновлениям, новостям и проверке сервера."
                                               : "The proxy is used for updates, news, and server checks."),
        this);
    description->setObjectName(QStringLiteral("secondaryText"));
    description->setWordWrap(true);
    body->addWidget(description);

    QFormLayout* modeForm = dialogForm();
    QLabel* modeLabel = new QLabel(translate("Proxy/Mode", "Mode:"), this);
    modeCombo = new StyledComboBox(this);
    modeCombo->addItem(translate("Proxy/System", "Windows system settings"), int(ProxyMode::System));
    modeCombo->addItem(translate("Proxy/Direct", "Direct connection"), int(ProxyMode::Direct));
    modeCombo->addItem(translate("Proxy/Manual", "Manual HTTP/HTTPS proxy"), int(ProxyMode::ManualHttp));
    modeForm->addRow(modeLabel, modeCombo);
    body->addLayout(modeForm);

    manualGroup = new QWidget(this);
    manualGroup->setObjectName(QStringLiteral("proxyManualGroup"));
    QFormLayout* manualForm = dialogForm();
    manualGroup->setLayout(manualForm);
    hostEdit = new QLineEdit(manualGroup);
    portSpin = new StyledSpinBox(manualGroup);
    portSpin->setRange(1, 65535);
    userEdit = new QLineEdit(manualGroup);
    passwordEdit = new QLineEdit(manualGroup);
    passwordEdit->setEchoMode(QLineEdit::Password);
    // Nothing to offer there: a masked field can be neither copied nor revealed.
    passwordEdit->setContextMenuPolicy(Qt::NoContextMenu);
    QLabel* hostLabel = new QLabel(translate("Proxy/Host", "Address:"), manualGroup);
    QLabel* portLabel = new QLabel(translate("Proxy/Port", "Port:"), manualGroup);
    QLabel* userLabel = new QLabel(translate("Proxy/User", "Login:"), manualGroup);
    QLabel* passwordLabel = new QLabel(translate("Proxy/Password", "Password:"), manualGroup);
    manualForm->addRow(hostLabel, hostEdit);
    manualForm->addRow(portLabel, portSpin);
    manualForm->addRow(userLabel, userEdit);
    manualForm->addRow(passwordLabel, passwordEdit);
    body->addWidget(manualGroup);
    alignFormLabels({modeLabel, hostLabel, portLabel, userLabel, passwordLabel});

    addDialogButtons(body, this, translate("Proxy/Ok", "OK"), translate("Proxy/Cancel", "Cancel"), &okButton,
                     &cancelButton);

    modeCombo->setCurrentIndex(std::max(0, modeCombo->findData(int(initial.mode))));
    hostEdit->setText(initial.host);
    portSpin->setValue(initial.port);
    userEdit->setText(initial.user);
    passwordEdit->setText(initial.password);
    connect(modeCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ProxyDialog::showManualFields);
    showManualFields();
}

void ProxyDialog::showManualFields()
{
    // Hidden, not cleared: switching back finds the fields as they were.
    manualGroup->setVisible(modeCombo->currentData().toInt() == int(ProxyMode::ManualHttp));
    if (isVisible())
        adjustSize();
}

ProxySettings ProxyDialog::settings() const
{
    ProxySettings settings;
    const int mode = modeCombo->currentData().toInt();
    settings.mode = mode == int(ProxyMode::Direct)       ? ProxyMode::Direct
                    : mode == int(ProxyMode::ManualHttp) ? ProxyMode::ManualHttp
                                                         : ProxyMode::System;
    settings.host = hostEdit->text().trimmed();
    settings.port = quint16(portSpin->value());
    settings.user = userEdit->text();
    settings.password = passwordEdit->text();
    return settings;
}

} // namespace vorn
