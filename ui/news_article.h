#pragma once

#include <QString>

namespace vorn {

// The article view's HTML: the fixed look with category, title, body and whatever follows
// (details, source link). Arguments are inserted as given: escape them first.
[[nodiscard]] QString newsArticleHtml(const QString& category, const QString& title,
                                      const QString& body, const QString& tail);

} // namespace vorn
