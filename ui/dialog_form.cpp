#include "ui/dialog_form.h"

#include <QBoxLayout>
#include <QDialog>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace vorn {

QFormLayout* dialogForm()
{
    auto* form = new QFormLayout;
    form->setContentsMargins(0, 0, 0, 0);
    form->setHorizontalSpacing(14);
    form->setVerticalSpacing(10);
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    return form;
}

void alignFormLabels(const QList<QLabel*>& labels)
{
    int width = 0;
    for (const QLabel* label : labels)
        width = std::max(width, label->sizeHint().width());
    for (QLabel* label : labels)
        label->setMinimumWidth(width);
}

void addDialogButtons(QBoxLayout* layout, QDialog* dialog, const QString& ok, const QString& cancel,
                      QPushButton** okButton, QPushButton** cancelButton)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addStretch();
    auto* accept = new QPushButton(ok, dialog);
    accept->setObjectName(QStringLiteral("primaryButton"));
    accept->setDefault(true);
    auto* reject = new QPushButton(cancel, dialog);
    QObject::connect(accept, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(reject, &QPushButton::clicked, dialog, &QDialog::reject);
    row->addWidget(accept);
    row->addWidget(reject);
    layout->addSpacing(6);
    layout->addLayout(row);
    *okButton = accept;
    *cancelButton = reject;
}

} // namespace vorn
