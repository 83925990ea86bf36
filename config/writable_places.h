#pragma once

#include <QProcessEnvironment>
#include <QString>

namespace vorn {

// Where a program writes its own files. A portable folder keeps everything beside the program,
// as it always has; a program installed where its user cannot write (a system package, a
// folder owned by root) puts the same files into the user's folders instead: settings into the
// configuration base, the log and the record of the newest launcher pointer into the state
// base, caches into the cache base, each in a folder named after the program.
enum class Place { Settings, State, Cache };

// One folder of ours. `root` is taken as it is (the program's folder, or a base folder of the
// user's, created when missing); the folders of `rel` below it are ours, so a link there is
// replaced rather than followed (ensureOwnFolder, writeOwnFile).
struct OwnFolder
{
    QString root;
    QString rel;

    [[nodiscard]] QString path() const;
    // rel joined with name: what writeOwnFile and ensureOwnFolder take below root.
    [[nodiscard]] QString relativePath(const QString& name) const;
    [[nodiscard]] QString filePath(const QString& name) const;
};

// The user's base folders by the XDG rules: a variable that is unset, empty or not absolute
// means its default below home.
struct UserBaseFolders
{
    QString config; // $XDG_CONFIG_HOME, ~/.config
    QString state;  // $XDG_STATE_HOME, ~/.local/state
    QString cache;  // $XDG_CACHE_HOME, ~/.cache
    QString data;   // $XDG_DATA_HOME, ~/.local/share

    [[nodiscard]] bool isEmpty() const { return config.isEmpty(); }
};
[[nodiscard]] UserBaseFolders xdgBaseFolders(const QProcessEnvironment& environment, const QString& home);
// This system's: the XDG folders of this process's environment, or none on Windows.
[[nodiscard]] UserBaseFolders userBaseFolders();

struct WritablePlaces
{
    bool besideProgram = true;
    OwnFolder settings;
    OwnFolder state;
    OwnFolder cache;
    // The game folder's default when it cannot sit beside the program's folder either.
    QString gameFolderBase;

    [[nodiscard]] const OwnFolder& folder(Place place) const;
};

// The decision itself. Without user base folders (where the program's folder is the one
// place, as on Windows, whose installer gives every player a folder of their own) the files
// stay beside the program whether it is writable or not.
[[nodiscard]] WritablePlaces choosePlaces(const QString& programFolder, bool programFolderWritable,
                                          const QString& name, const UserBaseFolders& bases);

// Whether files can be made in folder, found out by making one: permission bits say nothing
// of a read-only mount, of access lists, or of what root may do.
[[nodiscard]] bool canCreateFilesIn(const QString& folder);
// Whether a program keeps its files beside itself in folder: when files can be made there, and
// when the folder does not exist yet (a tool or test that names it makes it, as before).
[[nodiscard]] bool programFolderWritable(const QString& folder);

// The folder name below the user's base folders; "vorn-launcher" unless a tool names itself
// before the first use.
void setPlacesName(const QString& name);

// This run's places, decided on first use (and again after setLauncherDirectory).
[[nodiscard]] WritablePlaces writablePlaces();
// The folder of place, made ready the first time it is asked for: in the user's folders it is
// created and made ours; beside the program each caller keeps making its own folders.
[[nodiscard]] QString placeFolder(Place place);
[[nodiscard]] QString placeFilePath(Place place, const QString& name);
// Forgets the decision; the next use decides again.
void resetWritablePlaces();

// The file a system package installs beside the launcher: its updates come with the package.
constexpr const char* kPackageMarkerName = "installed-by-package";
[[nodiscard]] bool installedByPackage();

} // namespace vorn
