#include "config/writable_places.h"

#include "config/settings.h"
#include "core/file_status.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutex>
#include <QMutexLocker>
#include <QTemporaryFile>

#include <array>

namespace vorn {

Q_LOGGING_CATEGORY(lcPlaces, "vorn.places", QtInfoMsg)

namespace {

constexpr char kDefaultName[] = "vorn-launcher";
// Lets a test stand a program's folder in for a read-only one: the tests run as root, and root
// writes into a folder of mode 0555 all the same.
constexpr char kReadOnlyHook[] = "VORN_TEST_READONLY_PROGRAM_DIR";

struct Decision
{
    QMutex mutex;
    QString name = QLatin1String(kDefaultName);
    bool decided = false;
    WritablePlaces places;
    std::array<bool, 3> prepared{};
};

Decision& decision()
{
    static Decision instance;
    return instance;
}

QString baseFolder(const QProcessEnvironment& environment, const char* variable, const QString& fallback)
{
    const QString value = environment.value(QLatin1String(variable));
    // A relative value is invalid by the XDG rules and would depend on the current folder.
    if (value.isEmpty() || QDir::isRelativePath(value))
        return QDir::cleanPath(fallback);
    return QDir::cleanPath(value);
}

} // namespace

QString OwnFolder::path() const
{
    return rel.isEmpty() ? root : QDir(root).filePath(rel);
}

QString OwnFolder::relativePath(const QString& name) const
{
    return rel.isEmpty() ? name : rel + QLatin1Char('/') + name;
}

QString OwnFolder::filePath(const QString& name) const
{
    return QDir(root).filePath(relativePath(name));
}

UserBaseFolders xdgBaseFolders(const QProcessEnvironment& environment, const QString& home)
{
    const QDir homeDir(home);
    UserBaseFolders bases;
    bases.config = baseFolder(environment, "XDG_CONFIG_HOME", homeDir.filePath(QStringLiteral(".config")));
    bases.state = baseFolder(environment, "XDG_STATE_HOME", homeDir.filePath(QStringLiteral(".local/state")));
    bases.cache = baseFolder(environment, "XDG_CACHE_HOME", homeDir.filePath(QStringLiteral(".cache")));
    bases.data = baseFolder(environment, "XDG_DATA_HOME", homeDir.filePath(QStringLiteral(".local/share")));
    return bases;
}

const OwnFolder& WritablePlaces::folder(Place place) const
{
    switch (place) {
    case Place::Settings:
        return settings;
    case Place::State:
        return state;
    case Place::Cache:
        break;
    }
    return cache;
}

WritablePlaces choosePlaces(const QString& programFolder, bool programFolderWritable, const QString& name,
                            const UserBaseFolders& bases)
{
    WritablePlaces places;
    if (programFolderWritable || bases.isEmpty()) {
        places.settings = {programFolder, QString()};
        places.state = {programFolder, QString()};
        places.cache = {programFolder, QStringLiteral("cache")};
        places.gameFolderBase = QDir::cleanPath(programFolder + QStringLiteral("/.."));
        return places;
    }
    places.besideProgram = false;
    places.settings = {bases.config, name};
    places.state = {bases.state, name};
    places.cache = {bases.cache, name};
    places.gameFolderBase = bases.data;
    return places;
}

bool canCreateFilesIn(const QString& folder)
{
    if (!QFileInfo(folder).isDir())
        return false;
    // Created and removed at once, under a name of its own that nothing else uses. Nothing is
    // written into it: a full disk must not move a portable launcher's settings elsewhere.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".vorn-write-probe-XXXXXX")));
    return probe.open();
}

bool programFolderWritable(const QString& folder)
{
    if (!qEnvironmentVariableIsEmpty(kReadOnlyHook))
        return false;
    return !QFileInfo::exists(folder) || canCreateFilesIn(folder);
}

void setPlacesName(const QString& name)
{
    Decision& state = decision();
    QMutexLocker lock(&state.mutex);
    state.name = name;
    state.decided = false;
}

WritablePlaces writablePlaces()
{
    Decision& state = decision();
    QMutexLocker lock(&state.mutex);
    if (!state.decided) {
        const QString program = QDir::cleanPath(QDir(launcherDirectory()).absolutePath());
        const UserBaseFolders bases = userBaseFolders();
        // Without a second place there is nothing to decide, and nothing to probe.
        const bool writable = bases.isEmpty() || programFolderWritable(program);
        state.places = choosePlaces(program, writable, state.name, bases);
        state.prepared = {};
        state.decided = true;
        qCDebug(lcPlaces) << "program folder" << program << "writable:" << writable << "settings"
                          << state.places.settings.path() << "state" << state.places.state.path() << "cache"
                          << state.places.cache.path();
    }
    return state.places;
}

QString placeFolder(Place place)
{
    const WritablePlaces places = writablePlaces();
    const OwnFolder& folder = places.folder(place);
    if (places.besideProgram)
        return folder.path();
    Decision& state = decision();
    QMutexLocker lock(&state.mutex);
    bool& prepared = state.prepared[size_t(place)];
    if (!prepared) {
        // The base is the user's and taken as it is; the program's folder in it is ours.
        QString error;
        prepared = QDir().mkpath(folder.root) && ensureOwnFolder(folder.root, folder.rel, &error);
        if (!prepared)
            qCWarning(lcPlaces) << "cannot prepare" << folder.path() << error;
    }
    return folder.path();
}

QString placeFilePath(Place place, const QString& name)
{
    return QDir(placeFolder(place)).filePath(name);
}

void resetWritablePlaces()
{
    Decision& state = decision();
    QMutexLocker lock(&state.mutex);
    state.decided = false;
}

bool installedByPackage()
{
    return QFileInfo(QDir(launcherDirectory()).filePath(QLatin1String(kPackageMarkerName))).isFile();
}

} // namespace vorn
