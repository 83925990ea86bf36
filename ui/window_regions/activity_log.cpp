#include "ui/window_regions/activity_log.h"

#include "ui/style.h"

#include <QPlainTextEdit>

namespace vorn {

void LogRegion::buildLog(QWidget* parent)
{
    miniLog = new QPlainTextEdit(parent);
    miniLog->setObjectName(QStringLiteral("miniLog"));
    miniLog->setReadOnly(true);
    miniLog->setMaximumBlockCount(style::kLogMaxLines);
    miniLog->setFixedHeight(style::kLogHeight);
}

} // namespace vorn
