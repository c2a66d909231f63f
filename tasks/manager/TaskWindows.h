#pragma once

#include <cstdint>
#include <memory>
#include <string>

class CAction;

namespace uikit {
class IProgressIndicator;
}

// The two progress windows of the task manager and the task dialogs, as the manager sees them.
// The Qt views live in jobkit_dialogs; without them the manager uses windowless counterparts
// that only remember what they were told, so a task list runs from a console or the keeper.
namespace jobkit {

// "Building file list...": the count of files found and the folder being searched.
class ITaskWaitWindow {
public:
    virtual ~ITaskWaitWindow() = default;
    virtual void SetFoundCount(unsigned count) = 0;
    virtual void SetSearchFolder(const std::string& folder) = 0;
};

// "Quillmark is working...": the count line, the current item, the phase and a progress bar.
class ITaskCancelWindow {
public:
    virtual ~ITaskCancelWindow() = default;
    // The count line's format: printf with two %d (current and total), or one fixed text.
    virtual void SetCountFormat(const std::string& format) = 0;
    const std::string& GetCountFormat() const { return m_format; }
    // Sets the total and ranges the progress bar 0 .. total at position 0.
    virtual void SetTotal(int total) = 0;
    int GetTotal() const { return m_total; }
    virtual void SetCountText(const std::string& text) = 0;
    virtual void SetCurrentItem(const std::string& text) = 0;
    virtual void SetPhase(const std::string& text) = 0;
    virtual uikit::IProgressIndicator* Progress() = 0;

protected:
    std::string m_format = "%d of %d tasks have been processed";
    int m_total = 0;
};

// Cancel in the execution window: asks "Break operation?" through uikit and, on Yes, clears the
// bound continue flag. True when the user confirmed.
bool ConfirmBreak(int* continueFlag);

// The task dialogs of other parts of the control center (wizard, property dialog, schedule
// editor). Results: 1 OK, 2 Cancel.
class ITaskDialogs {
public:
    virtual ~ITaskDialogs() = default;
    // Runs the new-task wizard; on Finish gives the new task and its kind (1 encrypt, 2 delete,
    // 3 send mail), on Cancel null.
    virtual CAction* RunNewTaskWizard(std::uint32_t value, int& kind) = 0;
    virtual int ShowTaskProperties(CAction* task) = 0;
    virtual int ShowScheduleEditor(CAction* task) = 0;
};

// Makes the windows. The default makes the windowless ones.
class ITaskWindowFactory {
public:
    virtual ~ITaskWindowFactory() = default;
    virtual std::unique_ptr<ITaskWaitWindow> OpenWaitWindow(int* continueFlag) = 0;
    virtual std::unique_ptr<ITaskCancelWindow> OpenCancelWindow(int* continueFlag) = 0;
    // Null when this program has no task dialogs.
    virtual ITaskDialogs* Dialogs() { return nullptr; }
};

ITaskWindowFactory& TaskWindows();
// Installs a factory (null: the windowless one again); gives the previous one.
ITaskWindowFactory* SetTaskWindows(ITaskWindowFactory* factory);

// The windowless counterparts. Tests read them back; RequestCancel stands for the Cancel button.
class HeadlessWaitWindow : public ITaskWaitWindow {
public:
    explicit HeadlessWaitWindow(int* continueFlag) : m_continue(continueFlag) {}
    void SetFoundCount(unsigned count) override { foundCount = count; }
    void SetSearchFolder(const std::string& folder) override { searchFolder = folder; }
    void RequestCancel() { *m_continue = 0; }
    unsigned foundCount = 0;
    std::string searchFolder;

private:
    int* m_continue;
};

class HeadlessCancelWindow : public ITaskCancelWindow {
public:
    explicit HeadlessCancelWindow(int* continueFlag);
    ~HeadlessCancelWindow() override;
    void SetCountFormat(const std::string& format) override { m_format = format; }
    void SetTotal(int total) override;
    void SetCountText(const std::string& text) override { countText = text; }
    void SetCurrentItem(const std::string& text) override { currentItem = text; }
    void SetPhase(const std::string& text) override { phase = text; }
    uikit::IProgressIndicator* Progress() override;
    bool RequestCancel() { return ConfirmBreak(m_continue); }
    std::string countText;
    std::string currentItem;
    std::string phase;

private:
    int* m_continue;
    std::unique_ptr<uikit::IProgressIndicator> m_progress;
};

// The windowless factory; it remembers the windows that are open now, for tests and for
// programs that print progress themselves.
class HeadlessTaskWindows : public ITaskWindowFactory {
public:
    std::unique_ptr<ITaskWaitWindow> OpenWaitWindow(int* continueFlag) override;
    std::unique_ptr<ITaskCancelWindow> OpenCancelWindow(int* continueFlag) override;
    static HeadlessCancelWindow* OpenCancel();
    static HeadlessWaitWindow* OpenWait();
};

} // namespace jobkit
