// .vorn/state.json lies in a folder the player controls. Reading it must never fail loudly, and
// every key it yields must be the key of a safe path.
#include "core/local_state.h"
#include "core/paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir folder;
    static const bool prepared = QDir(folder.path()).mkpath(QStringLiteral(".vorn"));
    if (!prepared)
        __builtin_trap();
    const QDir game(folder.path());
    {
        QFile file(vorn::localStatePath(game));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            __builtin_trap();
    }
    const vorn::LocalState state = vorn::loadLocalState(game);
    for (auto it = state.constBegin(); it != state.constEnd(); ++it) {
        // A key is a case-folded normalized path; folding it again changes nothing.
        if (it.key().isEmpty() || it.key().contains(QChar(0)) || it.key().startsWith(QLatin1Char('/'))
            || it.key() != it.key().toCaseFolded() || it.key().contains(QLatin1Char(':')))
            __builtin_trap();
    }
    return 0;
}
