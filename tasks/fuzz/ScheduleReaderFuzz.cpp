// The schedule-file reader on arbitrary bytes: every input loads into tasks or into an error text.
// Run it alone with: build-asan/tests/schedule_reader -max_total_time=60 tasks/tests/data/schedule-corpus
#include "tasks/manager/TaskManager.h"
#include "tasks/model/Action.h"
#include "uikit/ScriptedBackend.h"

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Record errors show a message; the scripted back-end takes it silently.
    static uikit::ScriptedBackend ui;
    static uikit::ScopedBackend scope(ui);
    ui.clear();
    CTaskManager manager;
    std::string error;
    if (manager.ReadScheduleBytes(std::string_view(reinterpret_cast<const char*>(data), size), error)) {
        // What loads must save again.
        std::string bytes;
        if (!manager.WriteScheduleBytes(bytes, error))
            __builtin_trap();
    } else if (error.empty()) {
        __builtin_trap();
    }
    return 0;
}
