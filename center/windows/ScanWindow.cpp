#include "center/windows/ScanWindow.h"

#include "uikit/UIException.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

CDlgCancel::CDlgCancel(Scan scan, QWidget* parent) : QDialog(parent), m_scan(std::move(scan)) {
    setObjectName(QStringLiteral("ScanWindow"));
    setWindowTitle(tr("Scanning for files..."));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Please, wait..."), this));
    // A busy bar in place of the search animation.
    auto* busy = new QProgressBar(this);
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    busy->setAccessibleName(tr("Searching"));
    layout->addWidget(busy);
    auto* searched = new QFormLayout;
    m_folders = new QLabel(QStringLiteral("0"), this);
    m_folders->setObjectName(QStringLiteral("FoldersSearched"));
    searched->addRow(tr("Folders searched:"), m_folders);
    layout->addLayout(searched);
    auto* found = new QGroupBox(tr("Found so far:"), this);
    auto* counts = new QFormLayout(found);
    m_keyFiles = new QLabel(QStringLiteral("0"), found);
    m_keyFiles->setObjectName(QStringLiteral("KeyFilesFound"));
    m_files = new QLabel(QStringLiteral("0"), found);
    m_files->setObjectName(QStringLiteral("EncryptedFilesFound"));
    counts->addRow(tr("Key files:"), m_keyFiles);
    counts->addRow(tr("Encrypted files:"), m_files);
    layout->addWidget(found);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(tr("Break"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDlgCancel::reject);
    QTimer::singleShot(100, this, &CDlgCancel::RunScan);
    setMinimumWidth(320);
}

void CDlgCancel::RunScan() {
    m_running = true;
    try {
        if (m_scan)
            m_scan(*this);
    } catch (const CUIException& e) {
        e.ReportError("Quillmark");
    }
    m_running = false;
    // Broken or not, what was found is kept and shown.
    accept();
}

void CDlgCancel::Report(int folders, int unused, int keyFiles, int encryptedFiles) {
    (void)unused;
    m_folders->setText(QString::number(folders));
    m_keyFiles->setText(QString::number(keyFiles));
    m_files->setText(QString::number(encryptedFiles));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - m_lastPump >= 20) {
        m_lastPump = now;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

void CDlgCancel::OnScanProgress(center::KMProgress& progress) {
    Report(static_cast<int>(progress.nFolders), static_cast<int>(progress.nUnused),
           static_cast<int>(progress.nKeyFiles), static_cast<int>(progress.nEncryptedFiles));
    if (Broken())
        progress.nContinue = 0;
}

void CDlgCancel::reject() {
    // While the scan runs, Break only asks it to stop; the window closes when it has.
    if (m_running) {
        m_record.Cancel();
        return;
    }
    QDialog::reject();
}
