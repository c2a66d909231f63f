#pragma once

#include <QIcon>

#include <cstdint>

namespace center {

enum class IconId {
    SecretKeys,
    PublicKeys,
    PrivateKeys,
    KeyValid,
    KeyExpired,
    KeyRevoked,
    Folder,
    AllFiles,
    Drive,
    Archive,
    TaskEncrypt,
    TaskDelete,
    TaskMail,
    NewArchive,
    Wizard,
    Messenger,
    Locations,
    Refresh,
    Preferences,
    Exit,
    AddFiles,
    AddFolder,
    Delete,
    OutputFolder,
    DecryptAll,
    DecryptSelected,
    DecryptRemove,
    Boxview,
    GenerateKey,
    KeyFolder,
    SessionKey,
    ExportKey,
    ImportKey,
    FindKey,
    SyncKeys,
    PublishKey,
    RevokeKey,
    NewTaskList,
    OpenTaskList,
    SaveTaskList,
    NewTask,
    TaskProperties,
    ScheduleTask,
    ListFiles,
    ClearList,
    PerformTask,
    PerformTasks,
    StartScheduler,
    StopScheduler,
    Help,
};

// The desktop theme's icon where the theme has one, our own picture otherwise. Key states, task
// kinds and drives are always our own, so they look alike on every desktop.
QIcon CenterIcon(IconId id);
// Our own picture of `id`, the one shown when the desktop's theme has none.
QString OwnIconPath(IconId id);

struct RowIcon;
// The icon of a list row: key states and task kinds by their image number, key files and
// encrypted files by their kind, a task list's files by their type as the desktop shows it.
QIcon RowIconOf(std::uint8_t kind, const RowIcon& icon);

} // namespace center
