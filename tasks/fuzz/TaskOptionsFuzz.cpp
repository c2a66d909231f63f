// qmtask's two readers of outside text on arbitrary input: the JSON form of a list ('J' and the
// JSON) and the options of "qmtask new" ('O', then the kind and each option on a line of its own).
// Whatever is accepted, damaged times and indexes included, must describe itself readably.
// Run it alone with: build-asan/tests/task_options -max_total_time=60 tasks/tests/data/task-options-corpus
#include "RuleOptions.h"
#include "TaskJson.h"
#include "TaskOptions.h"

#include "tasks/manager/TaskManager.h"
#include "tasks/model/Action.h"
#include "uikit/ScriptedBackend.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

void Describe(CAction& task) {
    for (const auto& [label, value] : qmtask::DescribeTask(task))
        if (label.empty())
            __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static uikit::ScriptedBackend ui; // a damaged rule's message box is taken silently
    static uikit::ScopedBackend scope(ui);
    ui.clear();
    static CTaskManager names; // the task names that tasks need
    if (size == 0)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] == 'J') {
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text));
        if (!doc.isObject())
            return 0;
        CTaskManager manager;
        std::vector<std::unique_ptr<CAction>> owned;
        std::string error;
        if (!qmtask::ListFromJson(doc.object(), manager, owned, error)) {
            if (error.empty())
                __builtin_trap();
            return 0;
        }
        for (const auto& task : owned)
            Describe(*task);
    } else if (data[0] == 'O') {
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        lines.push_back(text.substr(start));
        const std::string kind = lines.front();
        lines.erase(lines.begin());
        const std::int64_t now = 2000000000; // 2033-05-18
        std::unique_ptr<CAction> task;
        try {
            task = qmtask::NewTaskFromOptions(kind, lines, now);
        } catch (const std::runtime_error& e) {
            if (std::string(e.what()).empty())
                __builtin_trap();
            return 0;
        }
        Describe(*task);
    }
    return 0;
}
