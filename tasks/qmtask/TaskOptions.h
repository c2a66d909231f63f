#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CAction;

namespace qmtask {

// "qmtask new KIND OPTIONS": KIND is encrypt, delete or mail; `options` are the task's and the
// rule's options (the list file and its password are the caller's). Throws std::runtime_error
// with a message that names the option at fault. Needs a task manager alive (task names).
std::unique_ptr<CAction> NewTaskFromOptions(const std::string& kind, const std::vector<std::string>& options,
                                            std::int64_t now);

// The options of one kind for --help.
std::string NewTaskHelp();

// A task as readable lines (label, value) under the option names of "new"; secrets are not shown.
std::vector<std::pair<std::string, std::string>> DescribeTask(CAction& task);

// A mask in its stored form "|*.txt|*.doc|" as typed: "*.txt;*.doc".
std::string MaskAsTyped(const std::string& stored);

} // namespace qmtask
