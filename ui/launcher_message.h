#pragma once

#include <QString>

class QWidget;

namespace vorn {

class LauncherDialog;

enum class LauncherMessageKind { Information = 0, Warning = 1, Error = 2 };

// The launcher's message box, built but not shown; the caller owns it.
[[nodiscard]] LauncherDialog* createLauncherMessage(QWidget* parent, const QString& title,
                                                    const QString& text, LauncherMessageKind kind);

// Opens the box without waiting for it (engines keep running); it deletes itself when closed.
void openLauncherMessage(QWidget* parent, const QString& title, const QString& text,
                         LauncherMessageKind kind);

} // namespace vorn
