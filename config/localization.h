#pragma once

#include <QList>
#include <QPair>
#include <QString>

class QObject;

namespace vorn {

// The catalogue's text for key when present and non-empty, otherwise the fallback.
// key is Latin-1, fallback UTF-8.
[[nodiscard]] QString translate(const char* key, const char* fallback);

// Loads ru.ini, then the chosen language's file over it. Returns whether that file exists.
bool loadCatalogues(const QString& language, const QString& localesDir);

// The language the catalogues were last loaded for ("ru" before any load).
[[nodiscard]] QString currentLanguage();

// Widgets remember their keys so a change of language can relabel them in place.
void bindLocale(QObject* object, const char* key, const char* fallback);
void bindToolTipLocale(QObject* object, const char* key, const char* fallback);

struct LanguageEntry
{
    QString displayName;
    QString code;
};

[[nodiscard]] QList<LanguageEntry> availableLanguages(const QString& localesDir);

// Index of the entry whose code equals current exactly, else 0.
[[nodiscard]] int initialLanguageIndex(const QList<LanguageEntry>& languages, const QString& current);

} // namespace vorn
