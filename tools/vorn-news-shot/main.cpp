// Opens the main window, loads the news of a site into it through the real feed, and saves a
// screenshot once the pages and covers are in (for example on an Xvfb display):
//   xvfb-run -a -s "-screen 0 1600x900x24" vorn-news-shot --language en --out news-en.png
//       --url http://127.0.0.1:8080/site/announce/list/page/1/
// docs/news-en.png and docs/news-ru.png (--step 3) show the site of scripts/make-demo-news.
#include "config/localization.h"
#include "config/settings.h"
#include "launcher/application.h"
#include "launcher/news_feed.h"
#include "launcher/news_widgets_view.h"
#include "net/network_service.h"
#include "ui/main_window_view.h"
#include "ui/profile_option_button.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QEventLoop>
#include <QMainWindow>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace vorn;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    prepareApplication(app);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("url"), QStringLiteral("First list page of the site."), QStringLiteral("url")});
    parser.addOption({QStringLiteral("language"), QStringLiteral("ru or en."), QStringLiteral("code"),
                      QStringLiteral("en")});
    parser.addOption({QStringLiteral("out"), QStringLiteral("PNG file to write."), QStringLiteral("file")});
    parser.addOption({QStringLiteral("size"), QStringLiteral("Window size."), QStringLiteral("WxH"),
                      QStringLiteral("1060x620")});
    parser.addOption({QStringLiteral("step"), QStringLiteral("Press the next arrow this often first."),
                      QStringLiteral("n"), QStringLiteral("0")});
    parser.process(app);
    if (!parser.isSet(QStringLiteral("url")) || !parser.isSet(QStringLiteral("out"))) {
        std::fprintf(stderr, "vorn-news-shot: --url and --out are required\n");
        return 2;
    }
    const QStringList size = parser.value(QStringLiteral("size")).split(QLatin1Char('x'));
    const QString language = parser.value(QStringLiteral("language"));

    // Settings and the cover cache of this run stay in a folder of its own.
    QTemporaryDir folder;
    setLauncherDirectory(folder.path());
    setLanguage(language);
    (void)loadCatalogues(language, QCoreApplication::applicationDirPath() + QStringLiteral("/locales"));

    QMainWindow window;
    auto* view = new MainWindowView(&window);
    view->legacyOption->setChecked(true);
    NewsWidgetsView newsView(*view);
    NetworkService network;
    NewsFeed feed(network, newsView, parser.value(QStringLiteral("url")));
    feed.setLinkOpener([](const QUrl&) { return false; });
    window.resize(size.value(0).toInt(), size.value(1).toInt());
    window.show();

    QEventLoop loop;
    bool loaded = false;
    QObject::connect(&feed, &NewsFeed::newsFinished, &loop, [&](bool ok) {
        loaded = ok;
        loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    feed.loadNews();
    loop.exec();
    while (feed.coverDownloadsRunning() > 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    for (int i = parser.value(QStringLiteral("step")).toInt(); i > 0; --i)
        emit newsView.stepRequested(1);
    view->rescaleNews(window.size());
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();

    QScreen* screen = window.screen();
    const QPixmap shot = screen ? screen->grabWindow(window.winId()) : QPixmap();
    const bool saved = !shot.isNull() && shot.save(parser.value(QStringLiteral("out")), "PNG");
    std::printf("%d entries, current %d, %s\n", int(feed.entries().size()), feed.currentRow(),
                saved ? "saved" : "not saved");
    return loaded && saved ? 0 : 1;
}
