#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace shellkit {

// "Decrypt": decrypts encrypted files (".qmp") with a password or a key file into an output
// folder, with progress and Cancel, and offers to open the folder afterwards.
class CDecryptWindow : public QDialog {
    Q_OBJECT
public:
    CDecryptWindow(const std::vector<std::string>& files, QWidget* parent = nullptr);
    ~CDecryptWindow() override;

    // Decrypts every file; true when all were written. Shows what failed.
    bool Decrypt();
    const std::vector<std::string>& Written() const { return m_written; }
    bool Running() const { return m_running; }

protected:
    void reject() override;

private:
    void UpdateKeyFields();
    bool CheckInput(std::string& folder);
    void Finish(const std::vector<std::string>& failures, const std::string& folder);

    std::vector<std::string> m_files;
    std::vector<std::string> m_written;
    QListWidget* m_list;
    QRadioButton* m_usePassword;
    QRadioButton* m_useKeyFile;
    QLineEdit* m_password;
    QLineEdit* m_keyFile;
    QToolButton* m_chooseKeyFile;
    QLineEdit* m_folder;
    QCheckBox* m_overwrite;
    QCheckBox* m_restoreTimes;
    QProgressBar* m_bar;
    QLabel* m_status;
    QPushButton* m_decrypt;
    QPushButton* m_close;
    bool m_running = false;
    bool m_cancel = false;
};

} // namespace shellkit
