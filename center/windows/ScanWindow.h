#pragma once

#include "center/core/KeyManager.h"
#include "uikit/CallbackStruct.h"

#include <QDialog>

#include <functional>

class QLabel;

// "Scanning for files...": runs the store scan shortly after it opens and closes itself when the
// scan returns. The scan reports its counters through Report(), which repaints the window and
// handles pending input, so Break works: it clears the continue flag of Record(), and the scan
// stops at its next check, keeping what it found.
class CDlgCancel : public QDialog, public center::IScanProgressOwner {
    Q_OBJECT
public:
    using Scan = std::function<void(CDlgCancel& window)>;
    CDlgCancel(Scan scan, QWidget* parent = nullptr);

    // The record the scan checks for Break; its callback calls nothing of this window.
    CALLBACKSTRUCT_& Record() { return m_record; }
    // The four progress counters of the scan: folders searched, unused, key files, encrypted
    // files. Events are handled here at most every 20 ms.
    void Report(int folders, int unused, int keyFiles, int encryptedFiles);
    bool Broken() const { return m_record.bContinue == 0; }
    // The store scan's counters: shown, events handled, and Break passed on as its continue flag.
    void OnScanProgress(center::KMProgress& progress) override;

    void reject() override;

private:
    void RunScan();

    Scan m_scan;
    CALLBACKSTRUCT_ m_record;
    QLabel* m_folders;
    QLabel* m_keyFiles;
    QLabel* m_files;
    bool m_running = false;
    qint64 m_lastPump = 0;
};
