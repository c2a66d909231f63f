#include "center/core/ColumnSets.h"

namespace center {

namespace {

constexpr bool L = false;
constexpr bool R = true;

} // namespace

const ColumnSet& ListColumns(NavKind kind) {
    static const ColumnSet keys{
        "ListKeysCols",
        {{"Name", 200, 120, L}, {"Used", 50, 50, R}, {"Size(64)", 60, 80, R}, {"Size(128)", 60, 80, R}}};
    static const ColumnSet pub{"ListPubKeysCols",
                               {{"Name", 200, 200, L},
                                {"Email", 200, 200, L},
                                {"Created", 100, 100, R},
                                {"Expires", 60, 100, R},
                                {"Size", 50, 30, R},
                                {"Synchronized", 50, 40, R}}};
    static const ColumnSet priv{"ListPrivKeysCols",
                                {{"Name", 200, 200, L},
                                 {"Email", 200, 200, L},
                                 {"Created", 100, 100, R},
                                 {"Expires", 60, 100, R},
                                 {"Size", 50, 30, R}}};
    static const ColumnSet all{"ListFilesCols",
                               {{"Name", 120, 80, L},
                                {"Size", 90, 80, R},
                                {"Type", 40, 80, R},
                                {"Key File", 80, 80, R},
                                {"Algorithm", 80, 80, R},
                                {"Mode", 40, 80, R},
                                {"Path", 120, 80, L}}};
    static const ColumnSet folder{"ListFilesCols",
                                  {{"Name", 120, 80, L},
                                   {"Size", 70, 80, R},
                                   {"Type", 40, 80, L},
                                   {"Key File", 80, 80, L},
                                   {"Algorithm", 80, 80, L},
                                   {"Mode", 40, 80, L}}};
    static const ColumnSet tasks{"ListTaskCols",
                                 {{"Name", 120, 80, L},
                                  {"Size", 90, 80, R},
                                  {"Type", 40, 80, R},
                                  {"Date", 80, 80, R},
                                  {"Folder", 80, 80, R},
                                  {"Action", 50, 80, R}}};
    static const ColumnSet sched{"ListSchedCols",
                                 {{"Name", 120, 50, L},
                                  {"Schedule", 90, 120, L},
                                  {"Start Time", 40, 40, R},
                                  {"End Time", 80, 40, R},
                                  {"Next Run", 80, 40, R},
                                  {"Last Run", 50, 40, R}}};
    switch (kind) {
    case kNavSecretKeys:
        return keys;
    case kNavPublicKeys:
        return pub;
    case kNavPrivateKeys:
        return priv;
    case kNavFolderFiles:
        return folder;
    case kNavTaskList:
        return tasks;
    case kNavSchedule:
        return sched;
    default:
        return all;
    }
}

const ColumnSet& DescriptionColumns(NavKind kind) {
    static const ColumnSet keys{"DescKeysCols",
                                {{"Name", 120, 80, L},
                                 {"Size", 70, 80, R},
                                 {"Type", 40, 80, R},
                                 {"Algorithm", 80, 80, R},
                                 {"Mode", 40, 80, R},
                                 {"Path", 120, 80, L}}};
    static const ColumnSet files{
        "DescFilesCols",
        {{"Name", 120, 80, L}, {"Size", 50, 80, R}, {"Modified", 85, 80, R}, {"Path", 80, 80, L}}};
    static const ColumnSet sched{"DescSchedCols", {{"Property", 130, 130, L}, {"Value", 255, 400, L}}};
    static const ColumnSet log{nullptr, {{"", 800, 800, L}}};
    switch (kind) {
    case kNavSecretKeys:
        return keys;
    case kNavTaskList:
        return log;
    case kNavSchedule:
        return sched;
    default:
        return files;
    }
}

} // namespace center
