#pragma once

#include "tasks/manager/TaskManager.h"
#include "tasks/model/Action.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"
#include "tasks/model/TaskFields.h"

#include <string>
#include <vector>

namespace tasktest {

// Gives every stored field of a task a value of its own (seeded, so two tasks differ), with texts
// of several lengths around the prefix limits.
void FillEveryField(CAction& task, int seed);

// Every stored field as "name=value" lines, for whole-task comparisons.
std::vector<std::string> DescribeFields(CAction& task);

// A manager with one task of each kind, every field filled.
struct EveryKind {
    CTaskManager manager;
    CActionDeleteFile del{"/d"};
    CActionEncryptFile enc{"/e"};
    CActionSendEmail mail;
    EveryKind();
    std::string Save(); // the bytes, as the current string form writes them
};

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
