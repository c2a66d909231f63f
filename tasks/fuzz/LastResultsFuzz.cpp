// The task results reader on arbitrary bytes: every input reads into results or into an error
// text, and what reads is written back to the same text.
// Run it alone with: build-asan/tests/task_results -max_total_time=60 tasks/tests/data/task-results-corpus
#include "tasks/schedlink/LastResults.h"

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tasksched::TaskResults results;
    std::string error;
    if (tasksched::ParseLastResults(text, results, error)) {
        tasksched::TaskResults again;
        if (!tasksched::ParseLastResults(tasksched::FormatLastResults(results), again, error) ||
            again.size() != results.size())
            __builtin_trap();
    } else if (error.empty()) {
        __builtin_trap();
    }
    return 0;
}
