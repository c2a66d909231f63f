#pragma once

#include "shellkit/EncryptionJob.h"
#include "shellkit/ShellWindows.h"

#include <QWizard>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QRadioButton;
class QToolButton;

namespace shellkit {

class CAlgorithmBox;

// The encryption wizard: files and folders, the key (a password typed twice, a key file or the
// session key), algorithm, compression and wiping, one encrypted file per source or one archive,
// then the work with progress and Cancel.
class CEncryptionWizard : public QWizard {
    Q_OBJECT
public:
    enum PageId { kFilesPage, kKeyPage, kOptionsPage, kProgressPage };

    CEncryptionWizard(const EncWizRequest& request, QWidget* parent = nullptr);
    ~CEncryptionWizard() override;

    const EncryptionOutcome& Outcome() const { return m_outcome; }
    bool Running() const { return m_running; }
    // The plan the pages describe now.
    EncryptionPlan Plan() const;

    bool validateCurrentPage() override;

protected:
    void reject() override;

private:
    friend class CWizardFilesPage;
    friend class CWizardProgressPage;
    void AddPaths(const std::vector<std::string>& paths);
    void RunWork();

    const SESSIONKEY_* m_sessionKey = nullptr;
    bool m_noteShown = false;
    EncryptionOutcome m_outcome;
    bool m_running = false;
    bool m_cancel = false;
    bool m_done = false;

    QListWidget* m_files = nullptr;
    QRadioButton* m_usePassword = nullptr;
    QRadioButton* m_useKeyFile = nullptr;
    QRadioButton* m_useSessionKey = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_confirm = nullptr;
    QLabel* m_strength = nullptr;
    QLineEdit* m_keyFile = nullptr;
    QToolButton* m_chooseKeyFile = nullptr;
    CAlgorithmBox* m_code = nullptr;
    QCheckBox* m_compress = nullptr;
    QCheckBox* m_wipe = nullptr;
    QLabel* m_wipeNote = nullptr;
    QRadioButton* m_perFile = nullptr;
    QRadioButton* m_oneArchive = nullptr;
    QLineEdit* m_archive = nullptr;
    QToolButton* m_chooseArchive = nullptr;
    QLabel* m_current = nullptr;
    QProgressBar* m_bar = nullptr;
    QLabel* m_summary = nullptr;
};

} // namespace shellkit
