#pragma once

class QPlainTextEdit;
class QWidget;

namespace vorn {

// The activity log between the content and the footer: finished lines only, the oldest
// dropping out past the limit.
struct LogRegion
{
    QPlainTextEdit* miniLog = nullptr;

    void buildLog(QWidget* parent);
};

} // namespace vorn
