// qmtask: task lists (".qms") from the command line.
#include "RuleOptions.h"
#include "ScheduleVerbs.h"
#include "TaskJson.h"
#include "TaskOptions.h"

#include "corecrypt/Primitives.h"
#include "platform/Clock.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/manager/TaskWindows.h"
#include "tasks/model/Action.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/FileAction.h"
#include "tasks/model/TaskFields.h"
#include "uikit/HeadlessBackend.h"
#include "uikit/UIException.h"
#include "uikit/Ui.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char kUsage[] =
    "Usage: qmtask VERB [ARGS...]\n"
    "Inspect, write and run Quillmark task lists (\".qms\") from the command line.\n"
    "\n"
    "  new encrypt|delete|mail [OPTIONS] -o LIST.qms [--append]\n"
    "                                       write a task from readable options\n"
    "                                       (qmtask new --help lists them)\n"
    "  show FILE [--json | --raw]           print every task of a task list\n"
    "  build JSONFILE OUT                   write a task list from JSON (the form that\n"
    "                                       show --json prints; see the README)\n"
    "  next FILE [--at \"YYYY-MM-DD HH:MM:SS\"] [--json]\n"
    "                                       every task's next run after that local\n"
    "                                       moment (default: now) and its schedule\n"
    "  files FILE [--task ID] [--json]      the files the list (or one task) selects:\n"
    "                                       path, owner id, owner's action\n"
    "  run FILE [--task ID]                 run every task (or one task); exit 0\n"
    "                                       without errors, 2 with errors (a file\n"
    "                                       not done, a missing folder, a Cancel)\n"
    "  schedule list | add FILE --task ID | remove ID | clear | start | stop | status\n"
    "                                       the stored background schedule\n"
    "  VERB --help                          the options of one verb\n"
    "  --help, --version                    this text; the version\n"
    "\n"
    "Every verb that reads or writes a list takes --password PW: the list's texts are then\n"
    "sealed with that document password.\n";

int Fail(const std::string& text) {
    std::fprintf(stderr, "qmtask: %s\n", text.c_str());
    return 1;
}

// Splits the arguments after the verb into positional ones and the known options.
struct Arguments {
    std::vector<std::string> positional;
    std::string password;
    std::string at;
    std::string task;
    bool json = false;
    bool raw = false;
};

bool ParseArguments(int argc, char** argv, bool allowJson, Arguments& args, std::string& error,
                    bool allowAt = false) {
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--password") {
            if (i + 1 >= argc) {
                error = "--password needs a value";
                return false;
            }
            args.password = argv[++i];
        } else if (arg == "--at" && allowAt) {
            if (i + 1 >= argc) {
                error = "--at needs a local time \"YYYY-MM-DD HH:MM:SS\"";
                return false;
            }
            args.at = argv[++i];
        } else if (arg == "--task") {
            if (i + 1 >= argc) {
                error = "--task needs a task id";
                return false;
            }
            args.task = argv[++i];
        } else if (arg == "--json" && allowJson) {
            args.json = true;
        } else if (arg == "--raw" && allowJson && std::strcmp(argv[1], "show") == 0) {
            args.raw = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else {
            args.positional.push_back(arg);
        }
    }
    return true;
}

void PrintText(const QJsonValue& value) {
    if (value.isString()) {
        std::fputs(value.toString().toStdString().c_str(), stdout);
    } else if (value.isArray()) {
        std::fputs(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact).constData(), stdout);
    } else if (value.isNull()) {
        std::fputs("(none)", stdout);
    } else {
        std::fputs(QString::number(value.toInteger()).toStdString().c_str(), stdout);
    }
}

// One block per list, one line per stored field under its member name, in declaration order.
void PrintFields(CTaskManager& manager) {
    const QJsonObject all = qmtask::ListToJson(manager);
    for (const char* list : {"delete", "encrypt", "sendmail"}) {
        const QJsonArray tasks = all[list].toArray();
        std::printf("%s: %lld task%s\n", list, static_cast<long long>(tasks.size()),
                    tasks.size() == 1 ? "" : "s");
        std::vector<CAction*>& source = std::strcmp(list, "delete") == 0    ? manager.m_lstDelete
                                        : std::strcmp(list, "encrypt") == 0 ? manager.m_lstEncrypt
                                                                            : manager.m_lstSendMail;
        for (qsizetype i = 0; i < tasks.size(); ++i) {
            const QJsonObject task = tasks[i].toObject();
            std::printf("  %s, code %d, ", task["class"].toString().toStdString().c_str(),
                        task["code"].toInt());
            PrintText(task["name"]);
            std::fputc('\n', stdout);
            // QJsonObject sorts its keys; the fields are printed in declaration order instead.
            struct Printer : jobkit::ITaskFieldVisitor {
                const QJsonObject& t;
                explicit Printer(const QJsonObject& o) : t(o) {}
                void Line(const char* name) {
                    std::printf("    %s: ", name);
                    PrintText(t[name]);
                    std::fputc('\n', stdout);
                }
                void Int(const char* n, std::int32_t&) override { Line(n); }
                void Time(const char* n, std::int64_t&) override { Line(n); }
                void Text(const char* n, std::string&) override { Line(n); }
                void List(const char* n, std::vector<std::int32_t>&) override { Line(n); }
            } printer(task);
            jobkit::VisitTaskFields(*source[static_cast<std::size_t>(i)], printer);
        }
    }
}

// The folders and files a file task names: its Location, and an encrypt task's destination folder
// and archive name when it uses them.
std::vector<const std::string*> PathsOf(const CFileAction& task) {
    std::vector<const std::string*> paths = {&task.m_csLocation};
    if (const auto* enc = dynamic_cast<const CActionEncryptFile*>(&task)) {
        if (enc->m_bArchive)
            paths.push_back(&enc->m_csArchive);
        else if (!enc->m_csDestFolder.empty())
            paths.push_back(&enc->m_csDestFolder);
    }
    return paths;
}

// One block per list; each task under the option names of "qmtask new".
void PrintReadable(CTaskManager& manager) {
    const char* const kinds[3] = {"delete", "encrypt", "mail"};
    int which = 0;
    for (const auto* list : {&manager.m_lstDelete, &manager.m_lstEncrypt, &manager.m_lstSendMail}) {
        std::printf("%s: %zu task%s\n", kinds[which++], list->size(), list->size() == 1 ? "" : "s");
        for (CAction* task : *list) {
            std::string action;
            try {
                action = task->GetActionName();
            } catch (const std::invalid_argument&) {
                action = "(damaged task code)";
            }
            std::printf("  task %d: %s\n", task->m_nId, action.c_str());
            for (const auto& [label, value] : qmtask::DescribeTask(*task))
                std::printf("    %s: %s\n", label.c_str(), value.c_str());
        }
    }
}

int Show(int argc, char** argv) {
    Arguments args;
    std::string error;
    if (!ParseArguments(argc, argv, true, args, error))
        return Fail(error);
    if (args.positional.size() != 1)
        return Fail("usage: qmtask show FILE [--password PW] [--json | --raw]");
    CAction::m_csPassword = args.password;
    CTaskManager manager;
    if (!manager.ReadScheduleFile(args.positional[0], error))
        return Fail(args.positional[0] + ": " + error);
    if (args.json) {
        std::fputs(QJsonDocument(qmtask::ListToJson(manager)).toJson(QJsonDocument::Indented).constData(),
                   stdout);
    } else if (args.raw) {
        PrintFields(manager);
    } else {
        PrintReadable(manager);
    }
    return 0;
}

int Build(int argc, char** argv) {
    Arguments args;
    std::string error;
    if (!ParseArguments(argc, argv, false, args, error))
        return Fail(error);
    if (args.positional.size() != 2)
        return Fail("usage: qmtask build JSONFILE OUT [--password PW]");
    QFile in(QString::fromStdString(args.positional[0]));
    if (!in.open(QIODevice::ReadOnly))
        return Fail(args.positional[0] + ": " + in.errorString().toStdString());
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(in.readAll(), &parseError);
    if (doc.isNull())
        return Fail(args.positional[0] + ": " + parseError.errorString().toStdString() + " at offset " +
                    std::to_string(parseError.offset));
    if (!doc.isObject())
        return Fail(args.positional[0] + ": the task list must be a JSON object");
    CAction::m_csPassword = args.password;
    CTaskManager manager;
    std::vector<std::unique_ptr<CAction>> owned;
    if (!qmtask::ListFromJson(doc.object(), manager, owned, error))
        return Fail(args.positional[0] + ": " + error);
    if (!manager.WriteScheduleFile(args.positional[1], error))
        return Fail(args.positional[1] + ": " + error);
    // The list is written as given (any list must load and save unchanged), but a task that no
    // run will accept is named now rather than at its first run: an empty Location would stand for
    // the root folder, a relative one for wherever the list happens to run.
    for (const auto* list : {&manager.m_lstDelete, &manager.m_lstEncrypt})
        for (CAction* task : *list)
            if (auto* fileTask = dynamic_cast<CFileAction*>(task))
                for (const std::string* path : PathsOf(*fileTask))
                    if (!jobkit::IsAbsoluteLocation(*path))
                        std::fprintf(stderr,
                                     "qmtask: warning: task %d: \"%s\" is not an absolute path; the task "
                                     "will be refused when it is listed or run\n",
                                     task->m_nId, path->c_str());
    return 0;
}

int Next(int argc, char** argv) {
    Arguments args;
    std::string error;
    if (!ParseArguments(argc, argv, true, args, error, true))
        return Fail(error);
    if (args.positional.size() != 1)
        return Fail("usage: qmtask next FILE [--at \"YYYY-MM-DD HH:MM:SS\"] [--password PW] [--json]");
    std::int64_t now = platform::Now();
    if (!args.at.empty() && !qmtask::ParseLocalTime(args.at, now, now))
        return Fail("--at wants a local time \"YYYY-MM-DD HH:MM:SS\", not \"" + args.at + "\"");
    CAction::m_csPassword = args.password;
    CTaskManager manager;
    if (!manager.ReadScheduleFile(args.positional[0], error))
        return Fail(args.positional[0] + ": " + error);
    QJsonArray all;
    // A header, then one line per task with the next run as a local time; tabs between columns.
    std::string out = "id\tname\tnext run\tschedule\n";
    try {
        for (const auto* list : {&manager.m_lstDelete, &manager.m_lstEncrypt, &manager.m_lstSendMail}) {
            for (CAction* task : *list) {
                const std::int64_t next = task->GetNextRun(now);
                std::string shortText, longText;
                task->GetShortSchedString(shortText);
                task->GetLongSchedString(longText);
                if (args.json) {
                    QJsonObject o;
                    o["m_nId"] = task->m_nId;
                    o["next"] = static_cast<qint64>(next);
                    o["short"] = QString::fromStdString(shortText);
                    o["long"] = QString::fromStdString(longText);
                    all.append(o);
                } else {
                    while (!longText.empty() && longText.back() == ' ')
                        longText.pop_back();
                    const std::string when = task->m_nRunType == 0   ? "(not scheduled)"
                                             : task->m_nRunType == 3 ? "at startup"
                                                                     : TaskTimeText(next);
                    out += std::to_string(task->m_nId) + "\t" + task->m_csName + "\t" + when + "\t" +
                           (longText.empty() ? "-" : longText) + "\n";
                }
            }
        }
    } catch (const std::exception& e) {
        return Fail(args.positional[0] + ": " + e.what());
    }
    if (args.json)
        out = QJsonDocument(all).toJson(QJsonDocument::Indented).toStdString();
    std::fputs(out.c_str(), stdout);
    return 0;
}

// The schedule and, with --task, the one file task (or any task for run) it names.
struct Loaded {
    CTaskManager manager;
    CAction* task = nullptr;
};

bool Load(const Arguments& args, Loaded& loaded, std::string& error) {
    CAction::m_csPassword = args.password;
    if (!loaded.manager.ReadScheduleFile(args.positional[0], error)) {
        error = args.positional[0] + ": " + error;
        return false;
    }
    if (args.task.empty())
        return true;
    char* end = nullptr;
    const unsigned long id = std::strtoul(args.task.c_str(), &end, 10);
    if (args.task.empty() || *end || !(loaded.task = loaded.manager.GetTaskById(static_cast<unsigned>(id)))) {
        error = "no task with id " + args.task;
        return false;
    }
    return true;
}

int g_errors = 0;
// The progress line is drawn on standard error only when that is a terminal; anything else gets
// plain lines without terminal control codes.
bool g_progressLine = false;

// Every feedback line and error goes to the terminal; an error is a line about a task.
int PrintFeedback(FEEDBACKITEM_* item) {
    if (item->pTask || item->nErrorCode) {
        ++g_errors;
        const char* text = jobkit::ErrorTableText(item->nErrorCode);
        std::fprintf(stderr, "%sError: %s%s%s%s%s\n", g_progressLine ? "\r\033[K" : "", item->csItem.c_str(),
                     text ? ": " : "", text ? text : "", item->csDetail.empty() ? "" : " ",
                     item->csDetail.c_str());
    } else {
        std::fprintf(stdout, "%s\n", item->csItem.c_str());
        std::fflush(stdout);
    }
    return 1;
}

// The execution window of a terminal: one line that is rewritten as the run goes on.
class TerminalCancelWindow : public jobkit::HeadlessCancelWindow {
public:
    using HeadlessCancelWindow::HeadlessCancelWindow;
    ~TerminalCancelWindow() override { std::fputs("\r\033[K", stderr); }
    void SetCountText(const std::string& text) override {
        countText = text;
        Show();
    }
    void SetCurrentItem(const std::string& text) override {
        currentItem = text;
        Show();
    }

private:
    void Show() {
        std::string line = countText + "  " + currentItem;
        if (line.size() > 78)
            line = line.substr(0, 37) + "..." + line.substr(line.size() - 38);
        std::fprintf(stderr, "\r\033[K%s", line.c_str());
        std::fflush(stderr);
    }
};

class TerminalWindows : public jobkit::HeadlessTaskWindows {
public:
    std::unique_ptr<jobkit::ITaskCancelWindow> OpenCancelWindow(int* continueFlag) override {
        return std::make_unique<TerminalCancelWindow>(continueFlag);
    }
};

int Files(int argc, char** argv) {
    Arguments args;
    std::string error;
    if (!ParseArguments(argc, argv, true, args, error))
        return Fail(error);
    if (args.positional.size() != 1)
        return Fail("usage: qmtask files FILE [--task ID] [--password PW] [--json]");
    Loaded loaded;
    if (!Load(args, loaded, error))
        return Fail(error);
    loaded.manager.m_pfnFeedback = &PrintFeedback;
    try {
        if (loaded.task) {
            auto* fileTask = dynamic_cast<CFileAction*>(loaded.task);
            if (!fileTask)
                return Fail("task " + args.task + " selects no files");
            loaded.manager.BuildTaskList(fileTask, 0);
        } else {
            loaded.manager.BuildList(0);
        }
    } catch (const CUIException& e) {
        return Fail(e.GetText() + e.GetText2());
    }
    QJsonArray all;
    for (const auto& [path, listed] : loaded.manager.m_mapFiles) {
        const int id = listed.owner ? listed.owner->m_nId : 0;
        const std::string action = listed.owner ? listed.owner->GetActionName() : std::string();
        if (args.json) {
            QJsonObject o;
            o["path"] = QString::fromStdString(path);
            o["owner"] = id;
            o["action"] = QString::fromStdString(action);
            all.append(o);
        } else {
            std::printf("%s\t%d\t%s\n", path.c_str(), id, action.c_str());
        }
    }
    if (args.json)
        std::fputs(QJsonDocument(all).toJson(QJsonDocument::Indented).constData(), stdout);
    return 0;
}

int Run(int argc, char** argv) {
    Arguments args;
    std::string error;
    if (!ParseArguments(argc, argv, false, args, error))
        return Fail(error);
    if (args.positional.size() != 1)
        return Fail("usage: qmtask run FILE [--task ID] [--password PW]");
    Loaded loaded;
    if (!Load(args, loaded, error))
        return Fail(error);
    loaded.manager.m_pfnFeedback = &PrintFeedback;
    // Questions (an existing encrypted file) are asked only when the run is wholly on a terminal;
    // in a pipe (qmtask run LIST | tee log) or from a script each question takes the answer that
    // loses nothing, and the file it was about counts as an error.
    uikit::HeadlessBackend terminal(::isatty(0) && ::isatty(1) && ::isatty(2));
    uikit::ScopedBackend backend(terminal);
    TerminalWindows terminalWindows;
    g_progressLine = ::isatty(2);
    if (g_progressLine)
        jobkit::SetTaskWindows(&terminalWindows);
    try {
        if (loaded.task)
            loaded.manager.ExecuteTask(loaded.task, nullptr);
        else
            loaded.manager.Execute(0);
    } catch (const CUIException& e) {
        jobkit::SetTaskWindows(nullptr);
        return Fail(e.GetText() + e.GetText2());
    }
    jobkit::SetTaskWindows(nullptr);
    return g_errors ? 2 : 0;
}

// qmtask new KIND [OPTIONS] -o LIST.qms [--append] [--password PW]
int New(int argc, char** argv) {
    if (argc < 3)
        return Fail(
            "usage: qmtask new encrypt|delete|mail [OPTIONS] -o LIST.qms [--append] (qmtask new --help)");
    const std::string kind = argv[2];
    std::string output, password;
    bool append = false;
    std::vector<std::string> options;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-o" || arg == "--output" || arg == "--password") {
            if (i + 1 >= argc)
                return Fail(arg + " needs a value");
            (arg == "--password" ? password : output) = argv[++i];
        } else if (arg.rfind("--output=", 0) == 0) {
            output = arg.substr(9);
        } else if (arg == "--append") {
            append = true;
        } else {
            options.push_back(arg);
        }
    }
    CTaskManager manager; // fills the task names that new tasks need
    std::unique_ptr<CAction> task;
    try {
        task = qmtask::NewTaskFromOptions(kind, options, platform::Now());
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    if (output.empty())
        return Fail("-o LIST.qms is required: the task list to write");
    struct stat st {};
    const bool exists = ::stat(output.c_str(), &st) == 0;
    if (exists && !append)
        return Fail(output + " exists already; --append adds the task to it");
    CAction::m_csPassword = password;
    std::string error;
    if (exists && !manager.ReadScheduleFile(output, error))
        return Fail(output + ": " + error);
    try {
        manager.AddTask(task.get());
    } catch (const CUIException& e) {
        return Fail(output + ": " + e.GetText() + " " + e.GetText2());
    }
    if (!manager.WriteScheduleFile(output, error))
        return Fail(output + ": " + error);
    if (const auto* enc = dynamic_cast<const CActionEncryptFile*>(task.get())) {
        // Only a choice made here is warned of; the settings' default is the user's own.
        auto given = [&](const char* option) {
            return std::find(options.begin(), options.end(), option) != options.end();
        };
        const std::string weak = corecrypt::WeakChoiceWarning(given("--algorithm") ? enc->m_nAlgorithm : -1,
                                                              given("--mode") ? enc->m_nMode : -1);
        if (!weak.empty())
            std::fprintf(stderr, "qmtask: warning: %s\n", weak.c_str());
    }
    if (auto* file = dynamic_cast<CFileAction*>(task.get());
        file && ::stat(file->m_csLocation.c_str(), &st) != 0)
        std::fprintf(stderr, "qmtask: note: %s does not exist now; the task reports an error until it does\n",
                     file->m_csLocation.c_str());
    std::printf("%d\n", task->m_nId);
    return 0;
}

struct Verb {
    const char* name;
    int (*run)(int, char**);
    const char* help;
};

const Verb kVerbs[] = {
    {"new", New, nullptr},
    {"show", Show,
     "Usage: qmtask show FILE [--password PW] [--json | --raw]\n"
     "Prints every task of a task list: by default under the option names of qmtask new,\n"
     "with --json in the form that qmtask build reads (see the README), with --raw every\n"
     "stored field under its member name.\n"},
    {"build", Build,
     "Usage: qmtask build JSONFILE OUT [--password PW]\n"
     "Writes the task list OUT from JSON in the form that qmtask show --json prints; the\n"
     "README describes every field.\n"},
    {"next", Next,
     "Usage: qmtask next FILE [--at \"YYYY-MM-DD HH:MM:SS\"] [--password PW] [--json]\n"
     "Prints a header line and, for every task, its id, name, next run after that local\n"
     "moment (default: now) as a local time, and its schedule. --json prints m_nId, next\n"
     "(seconds since 1970), short and long for each task.\n"},
    {"files", Files,
     "Usage: qmtask files FILE [--task ID] [--password PW] [--json]\n"
     "Prints the files that the list (or one task) selects: path, owner id, owner's action.\n"},
    {"run", Run,
     "Usage: qmtask run FILE [--task ID] [--password PW]\n"
     "Runs every task of the list (or one task). Exit status 0 without errors, 2 with errors:\n"
     "a file that was not done, a missing folder or a Cancel each count as one. Unless\n"
     "standard input, output and error are a terminal nothing is asked: an existing\n"
     "encrypted file is kept and reported.\n"},
    {"schedule", ScheduleVerb,
     "Usage: qmtask schedule list\n"
     "       qmtask schedule add FILE --task ID [--password PW]\n"
     "       qmtask schedule remove ID | clear | start | stop | status\n"
     "The stored background schedule that keeper runs, and the scheduler itself.\n"},
};

bool Asks(int argc, char** argv, int from, const char* option) {
    for (int i = from; i < argc; ++i)
        if (std::strcmp(argv[i], option) == 0 ||
            (std::strcmp(option, "--help") == 0 && std::strcmp(argv[i], "-h") == 0))
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string verb = argv[1];
    if (verb == "--help" || verb == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (verb == "--version") {
        std::puts("qmtask (Quillmark) " QM_VERSION);
        return 0;
    }
    for (const Verb& v : kVerbs) {
        if (verb != v.name)
            continue;
        if (Asks(argc, argv, 2, "--help")) {
            std::fputs(v.help ? v.help : qmtask::NewTaskHelp().c_str(), stdout);
            return 0;
        }
        if (Asks(argc, argv, 2, "--version")) {
            std::puts("qmtask (Quillmark) " QM_VERSION);
            return 0;
        }
        return v.run(argc, argv);
    }
    if (verb[0] == '-')
        std::fprintf(stderr, "qmtask: unknown option %s (qmtask --help)\n", verb.c_str());
    else
        std::fprintf(stderr, "qmtask: unknown verb \"%s\" (qmtask --help lists the verbs)\n", verb.c_str());
    return 2;
}
