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

bool equalsLatin1IgnoringCase(const QChar* text, int length, const char* word)
{
    for (int i = 0; i < length; ++i) {
        if (!word[i] || text[i].toUpper() != QLatin1Char(word[i]))
            return false;
    }
    return word[length] == '\0';
}

// Windows reads a name as a device whatever its extension, and whatever blanks end its base.
bool isDeviceName(const QChar* segment, int length)
{
    int base = 0;
    while (base < length && segment[base] != QLatin1Char('.'))
        ++base;
    while (base > 0 && segment[base - 1] == QLatin1Char(' '))
        --base;
    if (base < 3 || base > 7)
        return false;
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (equalsLatin1IgnoringCase(segment, base, device))
            return true;
    }
    if (base != 4)
        return false;
    const bool port = equalsLatin1IgnoringCase(segment, 3, "COM")
                      || equalsLatin1IgnoringCase(segment, 3, "LPT");
    const QChar digit = segment[3];
    return port
           && ((digit >= QLatin1Char('0') && digit <= QLatin1Char('9'))
               || digit == QChar(0x00B9) || digit == QChar(0x00B2) || digit == QChar(0x00B3));
}

// Spellings that Windows maps onto another name: a segment ending in a dot or a blank names
// the file without them, and a device name names no file at all. Either would let two entries
// of one manifest write the same file past the duplicate check.
bool hasWindowsAlias(const QString& path)
{
    const QChar* data = path.constData();
    const int size = path.size();
    int start = 0;
    for (int i = 0; i <= size; ++i) {
        if (i < size && data[i] != QLatin1Char('/'))
            continue;
        const int length = i - start;
        if (length > 0) {
            const QChar last = data[i - 1];
            if (last == QLatin1Char('.') || last == QLatin1Char(' ') || isDeviceName(data + start, length))
                return true;
        }
        start = i + 1;
    }
    return false;
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
    return !path.contains(QChar(0)) && !hasWindowsAlias(path);
}

bool isPlainFolderName(const QString& name)
{
    // Besides one safe segment: none of the characters Windows keeps out of file names.
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || QStringView(u"<>\"/\\|?*").contains(c))
            return false;
    }
    return !name.isEmpty() && normalizeRelativePath(name) == name;
}

QString pathKey(const QString& normalizedPath)
{
    return normalizedPath.toCaseFolded();
}

} // namespace vorn
