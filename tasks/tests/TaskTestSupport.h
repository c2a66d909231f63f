#pragma once

#include "tasks/model/Action.h"
#include "tasks/model/TaskFields.h"

#include <string>
#include <vector>

namespace tasktest {

// Gives every stored field of a task a value of its own (seeded, so two tasks differ), with texts
// of several lengths around the prefix limits.
void FillEveryField(CAction& task, int seed);

// Every stored field as "name=value" lines, for whole-task comparisons.
std::vector<std::string> DescribeFields(CAction& task);

// The document password for one scope.
class ScopedPassword {
public:
    explicit ScopedPassword(std::string password) : m_previous(CAction::m_csPassword) {
        CAction::m_csPassword = std::move(password);
    }
    ~ScopedPassword() { CAction::m_csPassword = m_previous; }

private:
    std::string m_previous;
};

} // namespace tasktest
