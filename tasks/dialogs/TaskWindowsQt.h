#pragma once

#include "tasks/dialogs/TaskDialogsQt.h"
#include "tasks/manager/TaskWindows.h"

#include <QDialog>

class QLabel;
class QProgressBar;

namespace jobkit {

// "Building file list...": the count of files found, the folder being searched and Cancel. A busy
// bar stands in for the search animation.
class CDlgTaskWait : public QDialog, public ITaskWaitWindow {
    Q_OBJECT
public:
    CDlgTaskWait(int* continueFlag, QWidget* parent);
    ~CDlgTaskWait() override;
    void SetFoundCount(unsigned count) override;
    void SetSearchFolder(const std::string& folder) override;
    QString FoundText() const;
    QString FolderText() const;

protected:
    void reject() override;

private:
    int* m_continue;
    QLabel* m_count;
    QLabel* m_folder;
    QString m_fullFolder;
};

// "Quillmark is working...": count line, current item, progress bar, phase and a confirmed Cancel.
class CDlgTaskCancel : public QDialog, public ITaskCancelWindow {
    Q_OBJECT
public:
    CDlgTaskCancel(int* continueFlag, QWidget* parent);
    ~CDlgTaskCancel() override;
    void SetCountFormat(const std::string& format) override;
    void SetTotal(int total) override;
    void SetCountText(const std::string& text) override;
    void SetCurrentItem(const std::string& text) override;
    void SetPhase(const std::string& text) override;
    uikit::IProgressIndicator* Progress() override;
    QString CountText() const;
    QString PhaseText() const;
    QProgressBar* Bar() const { return m_bar; }

protected:
    void reject() override;

private:
    int* m_continue;
    QLabel* m_countLine;
    QLabel* m_item;
    QLabel* m_phase;
    QProgressBar* m_bar;
    std::unique_ptr<uikit::IProgressIndicator> m_progress;
};

// Opens the Qt windows, parented to the program's active window.
class QtTaskWindows : public ITaskWindowFactory {
public:
    std::unique_ptr<ITaskWaitWindow> OpenWaitWindow(int* continueFlag) override;
    std::unique_ptr<ITaskCancelWindow> OpenCancelWindow(int* continueFlag) override;
    ITaskDialogs* Dialogs() override { return &m_dialogs; }

private:
    QtTaskDialogs m_dialogs;
};

} // namespace jobkit
