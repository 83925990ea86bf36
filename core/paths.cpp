#include "core/paths.h"

#include <QDir>

namespace vorn {

namespace {

QString normalizeOnce(QString text)
{
    text = text.trimmed();
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    text = QDir::fromNativeSeparators(text);
    while (text.startsWith(QLatin1String("./")))
        text.remove(0, 2);
    return QDir::cleanPath(text);
}

// True when normalizing cannot change text: no blank at either end, no backslash, and no empty,
// "." or ".." segment, which is everything trimming and cleaning act on. Paths read from
// installed manifests and state.json are already in this form, thousands per planning run.
bool isAlreadyNormal(const QString& text)
{
    const int size = text.size();
    if (size == 0 || text.at(0).isSpace() || text.at(size - 1).isSpace())
        return false;
    const QChar* data = text.constData();
    int segmentStart = 0;
    for (int i = 0; i <= size; ++i) {
        if (i < size && data[i] != QLatin1Char('/')) {
            if (data[i] == QLatin1Char('\\'))
                return false;
            continue;
        }
        const int length = i - segmentStart;
        if (length == 0)
            return false;
        if (data[segmentStart] == QLatin1Char('.')
            && (length == 1 || (length == 2 && data[segmentStart + 1] == QLatin1Char('.'))))
            return false;
        segmentStart = i + 1;
    }
    return true;
}

} // namespace

QString normalizeRelativePath(const QString& text)
{
    if (isAlreadyNormal(text))
        return isSafeRelativePath(text) ? text : QString();
    const QString path = normalizeOnce(text);
    // Cleaning can expose blanks or a "./" at an end ("a/../ b" gives " b"). Such a path would read
    // back as another file from installed-manifest.json, so only stable results are accepted.
    if (!isSafeRelativePath(path) || normalizeOnce(path) != path)
        return QString();
    return path;
}

bool isSafeRelativePath(const QString& path)
{
    if (path.isEmpty() || path == QLatin1String("."))
        return false;
    if (QDir::isAbsolutePath(path) || path.startsWith(QLatin1Char('/')))
        return false;
    if (path.contains(QLatin1Char(':')))
        return false;
    if (path == QLatin1String("..") || path.startsWith(QLatin1String("../"))
        || path.contains(QLatin1String("/../")))
        return false;
    return !path.contains(QChar(0));
}

QString pathKey(const QString& normalizedPath)
{
    return normalizedPath.toCaseFolded();
}

} // namespace vorn
