#include "config/localization.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace vorn;

class TestLocalization final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    void writeCatalogue(const QString& name, const QByteArray& content)
    {
        QFile file(m_dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

private slots:
    void initTestCase()
    {
        writeCatalogue(QStringLiteral("ru.ini"),
                       "[Meta]\nName=\"Русский\"\n[Main]\nClose=\"Закрыть\"\nEmpty=\"\"\n"
                       "Play=\"Играть\"\nVersion=\"Версия %1, файлов: %2\"\n");
        writeCatalogue(QStringLiteral("en.ini"),
                       "[Meta]\nName=English\n[Main]\nPlay=PLAY\nEmpty=\n");
        writeCatalogue(QStringLiteral("de.ini"), "[Main]\nPlay=SPIELEN\n");
    }

    void overlay_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("play");
        QTest::addColumn<QString>("close");
        QTest::newRow("russian") << "ru" << true << "ru" << "Играть" << "Закрыть";
        // A key only the base catalogue has shows its Russian text, not the fallback.
        QTest::newRow("english over russian") << "en" << true << "en" << "PLAY" << "Закрыть";
        QTest::newRow("code with blanks and capitals") << "EN " << true << "en" << "PLAY" << "Закрыть";
        QTest::newRow("empty code means russian") << "" << true << "ru" << "Играть" << "Закрыть";
        QTest::newRow("unknown language") << "fr" << false << "fr" << "Играть" << "Закрыть";
    }

    void overlay()
    {
        QFETCH(QString, language);
        QFETCH(bool, exists);
        QFETCH(QString, current);
        QFETCH(QString, play);
        QFETCH(QString, close);
        QCOMPARE(loadCatalogues(language, m_dir.path()), exists);
        QCOMPARE(currentLanguage(), current);
        QCOMPARE(translate("Main/Play", "Play"), play);
        QCOMPARE(translate("Main/Close", "Close"), close);
        QCOMPARE(translate("Main/Empty", "Fallback"), QStringLiteral("Fallback"));
        QCOMPARE(translate("Main/Absent", "Ünïcode fallback"), QStringLiteral("Ünïcode fallback"));
    }

    void placeholdersSurviveCommas()
    {
        QVERIFY(loadCatalogues(QStringLiteral("ru"), m_dir.path()));
        QCOMPARE(translate("Main/Version", "").arg(3).arg(7),
                 QStringLiteral("Версия 3, файлов: 7"));
    }

    void missingFolderFallsBack()
    {
        QVERIFY(!loadCatalogues(QStringLiteral("en"), m_dir.filePath(QStringLiteral("nowhere"))));
        QCOMPARE(translate("Main/Play", "Play"), QStringLiteral("Play"));
        const QList<LanguageEntry> languages =
            availableLanguages(m_dir.filePath(QStringLiteral("nowhere")));
        QCOMPARE(languages.size(), 1);
        QCOMPARE(languages.first().displayName, QStringLiteral("Русский"));
        QCOMPARE(languages.first().code, QStringLiteral("ru"));
    }

    void languageList()
    {
        const QList<LanguageEntry> languages = availableLanguages(m_dir.path());
        QCOMPARE(languages.size(), 3);
        QCOMPARE(languages.at(0).code, QStringLiteral("de"));
        QCOMPARE(languages.at(0).displayName, QStringLiteral("de"));
        QCOMPARE(languages.at(1).displayName, QStringLiteral("English"));
        QCOMPARE(languages.at(2).displayName, QStringLiteral("Русский"));
        QCOMPARE(initialLanguageIndex(languages, QStringLiteral("ru")), 2);
        QCOMPARE(initialLanguageIndex(languages, QStringLiteral("RU")), 0);
    }

    void bindingStoresKeys()
    {
        QObject object;
        bindLocale(&object, "Main/Play", "Pläy");
        bindToolTipLocale(&object, "Main/PlayHint", "Start");
        QCOMPARE(object.property("localeKey").toString(), QStringLiteral("Main/Play"));
        QCOMPARE(object.property("localeFallback").toString(), QStringLiteral("Pläy"));
        QCOMPARE(object.property("localeToolTipKey").toString(), QStringLiteral("Main/PlayHint"));
        QCOMPARE(object.property("localeToolTipFallback").toString(), QStringLiteral("Start"));
    }
};

QTEST_GUILESS_MAIN(TestLocalization)
#include "tst_localization.moc"
