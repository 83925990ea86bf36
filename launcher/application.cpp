#include "launcher/application.h"

#include "config/localization.h"
#include "config/settings.h"
#include "launcher/display_scale.h"
#include "launcher/main_window.h"
#include "launcher/single_instance.h"
#include "ui/fixed_tool_tip_filter.h"
#include "ui/launcher_style.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QFontDatabase>

#include <memory>

namespace vorn {

namespace {

const char kToolTipStyleSheet[] =
    "QToolTip{color:#b7bec7;background:#0a1017;border:1px solid #66502d;border-radius:2px;"
    "padding:3px 6px;font-family:'Montserrat';font-size:10px;font-weight:400;}";

QString registerFonts()
{
    QString family = QStringLiteral("Montserrat");
    const char* const files[] = {"Montserrat-Regular.ttf", "Montserrat-Medium.ttf",
                                 "Montserrat-SemiBold.ttf", "Montserrat-Bold.ttf"};
    for (const char* file : files) {
        const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/assets/")
                                                         + QLatin1String(file));
        if (id < 0)
            continue;
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (!families.isEmpty())
            family = families.first();
    }
    return family;
}

} // namespace

void enableHighDpiScaling()
{
    // Qt 5 rounds 125 % and 150 % to whole factors unless told otherwise, which leaves the
    // window either too small or far too large on common laptop displays; fractions pass
    // where the system states them on purpose.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(displayScaleRounding());
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
}

void prepareApplication(QApplication& app)
{
    // The application style and the tool-tip placement filter come before any widget
    // exists, so every widget is created with them.
    QApplication::setStyle(new LauncherStyle);
    app.installEventFilter(new FixedToolTipFilter(&app));

    QFont font(registerFonts(), -1, -1, false);
    font.setStyleStrategy(QFont::PreferAntialias);
    QApplication::setFont(font);

    app.setStyleSheet(QLatin1String(kToolTipStyleSheet));

    QCoreApplication::setApplicationName(QStringLiteral("VORN Launcher"));
    QCoreApplication::setOrganizationName(QStringLiteral("Ostravel"));
    QApplication::setQuitOnLastWindowClosed(false);
}

int runLauncher(int argc, char** argv)
{
    enableHighDpiScaling();
    QApplication app(argc, argv);
    prepareApplication(app);

    InstanceLock lock;
    if (!lock.isFirstInstance()) {
        handOverToRunningInstance();
        return 0;
    }

    ensureSettingsDefaults();
    (void)loadCatalogues(language(), launcherFilePath(QStringLiteral("locales")));

    auto window = std::make_unique<MainWindow>();
    ActivationListener listener;
    QObject::connect(&listener, &ActivationListener::activationRequested, window.get(),
                     &MainWindow::bringToFront);
    window->show();
    const int exitCode = app.exec();
    window.reset();
    return exitCode;
}

} // namespace vorn
