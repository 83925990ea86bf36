#include "config/localization.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSettings>
#include <QVariant>

namespace vorn {

namespace {

struct TranslationTable
{
    QHash<QString, QString> entries;
    QString language = QStringLiteral("ru");
};

TranslationTable& table()
{
    static TranslationTable instance; // thread-safe initialisation since C++11
    return instance;
}

void loadCatalogueFile(const QString& path, QHash<QString, QString>& entries)
{
    if (!QFileInfo::exists(path))
        return;
    QSettings catalogue(path, QSettings::IniFormat);
    catalogue.setIniCodec("UTF-8");
    const QStringList keys = catalogue.allKeys();
    for (const QString& key : keys)
        entries.insert(key, catalogue.value(key).toString());
}

} // namespace

QString translate(const char* key, const char* fallback)
{
    const QString text = table().entries.value(QString::fromLatin1(key));
    return text.isEmpty() ? QString::fromUtf8(fallback) : text;
}

bool loadCatalogues(const QString& language, const QString& localesDir)
{
    TranslationTable& t = table();
    t.entries.clear();
    QString code = language.trimmed().toLower();
    if (code.isEmpty())
        code = QStringLiteral("ru");
    t.language = code;

    const QDir dir(localesDir);
    const QString basePath = dir.filePath(QStringLiteral("ru.ini"));
    const QString languagePath = dir.filePath(code + QStringLiteral(".ini"));
    loadCatalogueFile(basePath, t.entries);
    if (QFileInfo(languagePath) != QFileInfo(basePath))
        loadCatalogueFile(languagePath, t.entries);
    return QFileInfo::exists(languagePath);
}

QString currentLanguage()
{
    return table().language;
}

void bindLocale(QObject* object, const char* key, const char* fallback)
{
    object->setProperty("localeKey", QString::fromLatin1(key));
    object->setProperty("localeFallback", QString::fromUtf8(fallback));
}

void bindToolTipLocale(QObject* object, const char* key, const char* fallback)
{
    object->setProperty("localeToolTipKey", QString::fromLatin1(key));
    object->setProperty("localeToolTipFallback", QString::fromUtf8(fallback));
}

QList<LanguageEntry> availableLanguages(const QString& localesDir)
{
    QList<LanguageEntry> languages;
    const QFileInfoList files =
        QDir(localesDir).entryInfoList({QStringLiteral("*.ini")}, QDir::Files, QDir::Name);
    for (const QFileInfo& file : files) {
        const QString code = file.completeBaseName().toLower();
        QSettings catalogue(file.absoluteFilePath(), QSettings::IniFormat);
        catalogue.setIniCodec("UTF-8");
        const QString name = catalogue.value(QStringLiteral("Meta/Name")).toString();
        languages.append({name.isEmpty() ? code : name, code});
    }
    if (languages.isEmpty())
        languages.append({QStringLiteral("Русский"), QStringLiteral("ru")});
    return languages;
}

int initialLanguageIndex(const QList<LanguageEntry>& languages, const QString& current)
{
    for (int i = 0; i < languages.size(); ++i) {
        if (languages.at(i).code == current)
            return i;
    }
    return 0;
}

} // namespace vorn
