#pragma once

#include <QList>

class QBoxLayout;
class QDialog;
class QFormLayout;
class QLabel;
class QPushButton;
class QString;

namespace vorn {

// A form of the launcher's dialogs: labels on the left, fields growing to the right.
[[nodiscard]] QFormLayout* dialogForm();

// One width for the labels of several forms, so that their fields line up.
void alignFormLabels(const QList<QLabel*>& labels);

// OK (the confirming button) and Cancel, right-aligned, wired to accept and reject.
void addDialogButtons(QBoxLayout* layout, QDialog* dialog, const QString& ok, const QString& cancel,
                      QPushButton** okButton, QPushButton** cancelButton);

} // namespace vorn
