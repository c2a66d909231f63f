#pragma once

#include <QIcon>

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

} // namespace center
