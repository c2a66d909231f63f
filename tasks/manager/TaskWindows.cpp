#include "tasks/manager/TaskWindows.h"

#include "uikit/Progress.h"
#include "uikit/Ui.h"

namespace jobkit {

namespace {

HeadlessCancelWindow* g_openCancel = nullptr;
HeadlessWaitWindow* g_openWait = nullptr;

// The waiting window without a display clears its slot when it closes.
class TrackedWaitWindow : public HeadlessWaitWindow {
public:
    explicit TrackedWaitWindow(int* flag) : HeadlessWaitWindow(flag) { g_openWait = this; }
    ~TrackedWaitWindow() override {
        if (g_openWait == this)
            g_openWait = nullptr;
    }
};

HeadlessTaskWindows g_headless;
ITaskWindowFactory* g_factory = &g_headless;

} // namespace

bool ConfirmBreak(int* continueFlag) {
    if (uikit::MessageBox("Break operation?", "Cancel", uikit::Buttons::YesNo, uikit::Icon::Question) !=
        uikit::Answer::Yes)
        return false;
    *continueFlag = 0;
    return true;
}

HeadlessCancelWindow::HeadlessCancelWindow(int* continueFlag)
    : m_continue(continueFlag), m_progress(std::make_unique<uikit::CounterProgress>()) {
    g_openCancel = this;
}

HeadlessCancelWindow::~HeadlessCancelWindow() {
    if (g_openCancel == this)
        g_openCancel = nullptr;
}

void HeadlessCancelWindow::SetTotal(int total) {
    m_total = total;
    m_progress->setRange(0, total);
    m_progress->setPosition(0);
}

uikit::IProgressIndicator* HeadlessCancelWindow::Progress() {
    return m_progress.get();
}

std::unique_ptr<ITaskWaitWindow> HeadlessTaskWindows::OpenWaitWindow(int* continueFlag) {
    return std::make_unique<TrackedWaitWindow>(continueFlag);
}

std::unique_ptr<ITaskCancelWindow> HeadlessTaskWindows::OpenCancelWindow(int* continueFlag) {
    return std::make_unique<HeadlessCancelWindow>(continueFlag);
}

HeadlessCancelWindow* HeadlessTaskWindows::OpenCancel() {
    return g_openCancel;
}
HeadlessWaitWindow* HeadlessTaskWindows::OpenWait() {
    return g_openWait;
}

ITaskWindowFactory& TaskWindows() {
    return *g_factory;
}

ITaskWindowFactory* SetTaskWindows(ITaskWindowFactory* factory) {
    ITaskWindowFactory* previous = g_factory == &g_headless ? nullptr : g_factory;
    g_factory = factory ? factory : &g_headless;
    return previous;
}

} // namespace jobkit
