#pragma once

class QObject;
class QString;

namespace vorn {

// After the catalogues were reloaded for language: every descendant of root that carries a
// text or tool-tip key gets its text again, language buttons show the new code and chronicle
// logos swap their image. Texts composed at run time are their owners' to recompute.
void relabelWidgetTree(QObject* root, const QString& language);

} // namespace vorn
