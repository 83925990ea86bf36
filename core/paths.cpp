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

} // namespace

QString normalizeRelativePath(const QString& text)
{
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
