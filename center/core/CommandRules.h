#pragma once

// Which main-window commands are enabled, decided from a few facts about the window and the store.
// The window gathers the facts each time a menu or tool bar is shown; nothing here needs Qt.
namespace center {

// What the navigation trees have selected.
enum NavKind : unsigned char {
    kNavSecretKeys = 0,
    kNavPublicKeys = 1,
    kNavPrivateKeys = 2,
    kNavAllFiles = 3,
    kNavFolderFiles = 4,
    kNavTaskList = 5,
    kNavSchedule = 6,
};

enum class Pane { Tree, List, Description };

enum class Command {
    NewArchive,
    EncryptionWizard,
    Messenger,
    Locations,
    Refresh,
    Preferences,
    Exit,
    AddFiles,
    AddFolder,
    DeleteFiles,
    SelectOutputFolder,
    DecryptEntire,
    DecryptSelected,
    DecryptAndRemove,
    OpenInBoxview,
    GenerateKeyPair,
    KeyFolder,
    SetSessionKey,
    DeleteKey,
    ExportKey,
    ImportKey,
    FindKey,
    SynchronizeKeys,
    PublishKey,
    RevokeKey,
    NewTaskList,
    OpenTaskList,
    SaveTaskList,
    SaveTaskListAs,
    CloseTaskList,
    CreateTask,
    DeleteTask,
    ListFilesForTaskList,
    ListFilesForTask,
    PerformTasks,
    PerformSelectedTask,
    ClearFileList,
    TaskProperties,
    ScheduleTask,
    StartScheduler,
    StopScheduler,
    CreateScheduledTask,
    DeleteScheduledTask,
    ClearTaskList,
    RunTask,
    ScheduledTaskProperties,
    ToggleScheduler, // the schedule bar's button: starts a stopped scheduler, stops a running one
    HelpTopics,
    QuickStart,
    HomePage,
    About,
};

// The facts the rules read. The window fills the first part; the store and the task managers
// the rest.
struct CommandState {
    NavKind kind = kNavAllFiles;
    Pane focus = Pane::Tree;
    bool listHasSelection = false;
    bool descriptionHasSelection = false;
    int listRows = 0;
    // The task list and the schedule.
    bool taskSelected = false;     // a task node of the task tree
    bool fileTaskSelected = false; // ... and it is an encrypt or delete task
    bool taskFilesListed = false;  // the task list's file list is not empty
    int tasks = 0;                 // tasks of any kind in the task list
    int fileTasks = 0;             // encrypt and delete tasks in it
    bool scheduledTaskSelected = false;
    bool schedulerRunning = false;
};

bool IsCommandEnabled(Command command, const CommandState& state);

// Whether the output-folder part of the main dialog bar is shown: only while the decrypt
// commands can run.
bool ShowsOutputFolder(const CommandState& state);

} // namespace center
