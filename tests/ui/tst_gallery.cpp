#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestGallery final : public QObject
{
    Q_OBJECT

private slots:
    void rendersEveryPage()
    {
        QTemporaryDir out;
        QVERIFY(out.isValid());
        QProcess gallery;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        gallery.setProcessEnvironment(environment);
        gallery.start(QStringLiteral(VORN_GALLERY_PATH), {QStringLiteral("--out"), out.path()});
        QVERIFY(gallery.waitForFinished(120000));
        QCOMPARE(gallery.exitStatus(), QProcess::NormalExit);
        QVERIFY2(gallery.exitCode() == 0, gallery.readAllStandardError().constData());

        const QStringList expected = {
            "window-1060x620-ru", "window-1060x620-en", "window-1600x900-ru", "window-1600x900-en",
            "window-1060x620-ru-log", "widget-play-button-normal", "widget-play-button-hover",
            "widget-play-button-pressed", "widget-play-button-disabled", "widget-utility-settings-hover",
            "widget-utility-resume-normal", "widget-progress-45-normal", "widget-window-close-hover",
            "widget-language-hover", "widget-news-next-hover", "widget-artwork-streams-ru-hover",
            "widget-profile-legacy-checked", "widget-check-box-checked", "widget-news-cover-normal",
            "widget-backdrop-normal", "widget-news-card-x1.5-selected-normal", "dialog-message-error",
            "dialog-form", "dialog-settings", "dialog-proxy", "tooltip", "sheet-widgets"};
        for (const QString& name : expected)
            QVERIFY2(QFile::exists(out.filePath(name + ".png")), qPrintable(name));

        const QStringList files = QDir(out.path()).entryList({QStringLiteral("*.png")}, QDir::Files);
        QVERIFY(files.size() >= 70);
        for (const QString& file : files) {
            const QImage image(out.filePath(file));
            QVERIFY2(!image.isNull(), qPrintable(file));
            // Not blank: some pixel differs from the first one.
            const QRgb first = image.pixel(0, 0);
            bool varied = false;
            for (int y = 0; y < image.height() && !varied; y += 2)
                for (int x = 0; x < image.width() && !varied; x += 2)
                    varied = image.pixel(x, y) != first;
            QVERIFY2(varied, qPrintable(file));
        }
        const QImage window(out.filePath("window-1600x900-en.png"));
        QCOMPARE(window.size(), QSize(1600, 900));
    }
};

QTEST_MAIN(TestGallery)
#include "tst_gallery.moc"
