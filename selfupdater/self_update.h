#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace vorn::selfupdate {

class SystemCalls;

inline constexpr std::chrono::milliseconds launcherExitTimeout{120000};
inline constexpr int replaceAttempts = 50;
inline constexpr std::chrono::milliseconds replaceRetryDelay{100};

inline constexpr const char* tagArguments = "SELF-ARGS";
inline constexpr const char* tagWait = "SELF-WAIT";
inline constexpr const char* tagStage = "SELF-STAGE";
inline constexpr const char* tagTarget = "SELF-TARGET";
inline constexpr const char* tagApply = "SELF-APPLY";
inline constexpr const char* tagRestart = "SELF-RESTART";

inline constexpr const char* messageUnreadableArguments = "Не удалось прочитать параметры запуска.";
inline constexpr const char* messageMissingArguments =
    "Не хватает обязательных параметров обновления.";
inline constexpr const char* messageWaitTimedOut = "Лаунчер не завершился за две минуты.";
inline constexpr const char* messageStageMissing = "Не найдена подготовленная папка обновления.";
inline constexpr const char* messageTargetInvalid = "Некорректная папка установки лаунчера.";
inline constexpr const char* messageRolledBack =
    "Не удалось заменить файлы лаунчера. Старые файлы восстановлены.";
inline constexpr const char* messageRollbackIncomplete =
    "Не удалось заменить файлы лаунчера. Часть старых файлов восстановить не удалось, их копии "
    "остались в папке .self-update-backup.";
inline constexpr const char* messageRestartFailed =
    "Лаунчер обновлён, но не удалось запустить его повторно.";

struct Outcome {
    int exitCode = 0; // 0 success, 1 failure
    std::string tag;  // empty on success
    std::string message;
};

// The argument after the first one equal to `name`, searching from the program path on;
// empty when the option is missing or is the last argument.
[[nodiscard]] std::string optionValue(const std::vector<std::string>& arguments,
                                      const std::string& name);

// Folder name under the backup root for a version text: the text itself when it is a plain
// name, otherwise an escaped form that stays one path element.
[[nodiscard]] std::string backupFolderName(const std::string& version);

// One complete run on UTF-8 arguments (program path first) without showing anything.
[[nodiscard]] Outcome performSelfUpdate(const std::vector<std::string>& arguments,
                                        SystemCalls& system);

// performSelfUpdate, then a failure shown through SystemCalls::showError; the exit code.
[[nodiscard]] int runSelfUpdate(const std::vector<std::string>& arguments, SystemCalls& system);

} // namespace vorn::selfupdate
