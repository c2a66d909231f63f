#pragma once

#include "uikit/Progress.h"

#include <QDialog>

#include <string>

class QLabel;
class QProgressBar;

// "Quillmark is working...": shown while an archive is written or changed. It keeps its owner
// disabled while it lives; Cancel asks first, then clears the caller's continue flag, and the
// work stops at its next check.
class CDlgWait : public QDialog, public uikit::IProgressIndicator {
    Q_OBJECT
public:
    CDlgWait(int* continueFlag, QWidget* owner);
    ~CDlgWait() override;

    // The file being processed; repaints at once.
    void SetCurrent(const std::string& path);

    void setRange(int minimum, int maximum) override;
    void setPosition(int position) override;
    int position() const override;

    void reject() override;

private:
    int* m_continue;
    QWidget* m_owner;
    QLabel* m_current;
    QProgressBar* m_bar;
};
