#include "tasks/dialogs/TaskDialogsQt.h"

#include "tasks/dialogs/DlgScheduleTask.h"
#include "tasks/dialogs/PropertyListBox.h"
#include "tasks/dialogs/WizSheet.h"

#include <QApplication>

namespace jobkit {

namespace {
int Result(int code) {
    return code == QDialog::Accepted ? 1 : 2;
}
} // namespace

CAction* QtTaskDialogs::RunNewTaskWizard(std::uint32_t value, int& kind) {
    CWizSheet wizard(value, QApplication::activeWindow());
    kind = 0;
    if (wizard.exec() != QDialog::Accepted)
        return nullptr;
    return wizard.TakeTask(kind);
}

int QtTaskDialogs::ShowTaskProperties(CAction* task) {
    CDlgCurrentItem dialog(task, QApplication::activeWindow());
    return Result(dialog.exec());
}

int QtTaskDialogs::ShowScheduleEditor(CAction* task) {
    CDlgScheduleTask dialog(task, QApplication::activeWindow());
    return Result(dialog.exec());
}

} // namespace jobkit
