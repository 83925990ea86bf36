#pragma once

#include <QList>

class QBoxLayout;
class QFormLayout;
class QLabel;
class QPushButton;
class QString;
class QWidget;

namespace vorn {

// A form of the launcher's dialogs: labels on the left, fields growing to the right.
[[nodiscard]] QFormLayout* dialogForm();

// One width for the labels of several forms, so that their fields line up.
void alignFormLabels(const QList<QLabel*>& labels);

// OK (the confirming button) and Cancel, right-aligned, wired to accept and reject.
void addDialogButtons(QBoxLayout* layout, QWidget* dialog, const QString& ok, const QString& cancel,
                      QPushButton** okButton, QPushButton** cancelButton);

} // namespace vorn
