// Draws every image of the launcher into a folder (normally assets/). Run with the offscreen
// platform: QT_QPA_PLATFORM=offscreen make-assets --out assets --fonts assets/fonts
// With --news-covers N it draws only the demo site's covers, news-cover-1.png to N.
#include "art.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImageWriter>

#include <cstdio>

using namespace vorn::art;

namespace {

bool save(const QDir& out, const char* name, const QImage& image)
{
    QImageWriter writer(out.filePath(QLatin1String(name)), "png");
    writer.setQuality(0); // smallest file; PNG stays lossless
    if (!writer.write(image)) {
        std::fprintf(stderr, "make-assets: %s: %s\n", name, qPrintable(writer.errorString()));
        return false;
    }
    std::printf("%-32s %5d x %-5d %8lld bytes\n", name, image.width(), image.height(),
                static_cast<long long>(QFileInfo(out.filePath(QLatin1String(name))).size()));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Draws the launcher's artwork."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("out"), QStringLiteral("Folder for the images."),
                      QStringLiteral("dir")});
    parser.addOption({QStringLiteral("fonts"), QStringLiteral("Folder with the Montserrat fonts."),
                      QStringLiteral("dir")});
    parser.addOption({QStringLiteral("news-covers"),
                      QStringLiteral("Draw only the demo site's news covers, this many."),
                      QStringLiteral("count")});
    parser.process(app);
    if (!parser.isSet(QStringLiteral("out"))) {
        std::fprintf(stderr, "make-assets: --out DIR is required\n");
        return 2;
    }
    const QDir out(parser.value(QStringLiteral("out")));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "make-assets: cannot create %s\n", qPrintable(out.path()));
        return 1;
    }
    const QDir fonts(parser.isSet(QStringLiteral("fonts")) ? parser.value(QStringLiteral("fonts"))
                                                           : out.filePath(QStringLiteral("fonts")));
    for (const QString& file : fonts.entryList({QStringLiteral("*.ttf")}, QDir::Files))
        QFontDatabase::addApplicationFont(fonts.filePath(file));

    bool ok = true;
    if (parser.isSet(QStringLiteral("news-covers"))) {
        const int count = parser.value(QStringLiteral("news-covers")).toInt();
        for (int index = 1; index <= count; ++index)
            ok &= save(out, qPrintable(QStringLiteral("news-cover-%1.png").arg(index)),
                       newsCover(index, 640, 384));
        return ok && count > 0 ? 0 : 1;
    }
    ok &= save(out, "launcher-hero-v2.png", heroBackdrop(1920, 1080));
    ok &= save(out, "logo.png", crestLogo(144, 136));
    ok &= save(out, "brand-wordmark.png", brandWordmark(348, 216));
    const char* const artworks[] = {"nav-knowledge.png", "nav-support.png", "nav-streams.png"};
    for (int kind = 0; kind < 3; ++kind)
        ok &= save(out, artworks[kind], navigationArtwork(kind, 400, 300));
    ok &= save(out, "nav-label-knowledge-en.png", navigationCaption(QStringLiteral("KNOWLEDGE BASE"), 400, 300));
    ok &= save(out, "nav-label-knowledge-ru.png", navigationCaption(QStringLiteral("БАЗА ЗНАНИЙ"), 400, 300));
    ok &= save(out, "nav-label-support-en.png", navigationCaption(QStringLiteral("SUPPORT"), 400, 300));
    ok &= save(out, "nav-label-support-ru.png", navigationCaption(QStringLiteral("ПОДДЕРЖКА"), 400, 300));
    ok &= save(out, "nav-label-streams-en.png", navigationCaption(QStringLiteral("STREAMS"), 400, 300));
    ok &= save(out, "nav-label-streams-ru.png", navigationCaption(QStringLiteral("ТРАНСЛЯЦИИ"), 400, 300));
    ok &= save(out, "chronicle-logo-ru.png", chronicleLogo(true, 572, 208));
    ok &= save(out, "chronicle-logo-en.png", chronicleLogo(false, 572, 208));
    ok &= save(out, "play-button-normal.png", plate(246, 74, false));
    ok &= save(out, "play-button-active.png", plate(246, 74, true));
    ok &= save(out, "news-default.png", newsDefault(520, 312));

    QList<QImage> icons;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icons << crest(size);
    QString error;
    if (!writeIcon(out.filePath(QStringLiteral("launcher-icon.ico")), icons, &error)) {
        std::fprintf(stderr, "make-assets: %s\n", qPrintable(error));
        ok = false;
    } else {
        std::printf("%-32s %d sizes\n", "launcher-icon.ico", int(icons.size()));
    }
    return ok ? 0 : 1;
}
