#include "tests/support/game_process.h"

#include <QCoreApplication>

namespace vorn::test {

QString ownGameProcessName()
{
    // At most 15 characters, the length the kernel keeps as a process name.
    const QString name = QStringLiteral("vorn%1.exe").arg(QCoreApplication::applicationPid());
    qputenv("VORN_TEST_GAME_PROCESS", name.toUtf8());
    return name;
}

} // namespace vorn::test
