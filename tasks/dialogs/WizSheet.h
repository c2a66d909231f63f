#pragma once

#include <QDialog>
#include <QWizard>
#include <QWizardPage>

#include <cstdint>
#include <string>
#include <vector>

class CAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace jobkit {

// The answers of the new-task wizard, held until it closes; the task is built from them only on
// Finish.
struct WizardSheet {
    std::uint32_t options = 0; // bit 0: hide "Create empty task"
    int kind = 0;              // 1 encrypt, 2 delete, 3 send mail
    std::string name, folder;
    int subfolders = 0;
    std::vector<std::string> types; // each with its leading "."
    std::string destFolder;
    int archive = 0;
    std::string archiveName;
    int algorithm = 0, mode = 2;
    int wipe = 0, useKeyFile = 0;
    std::string keyFile, password;
    int delType = 0, wipeRounds = 3;
    std::string sendTo, recipientsFile, senderName, senderEmail, subject, message, server, encoding,
        attachment, viaIp, login, mailPassword;
    int auth = 0;
};

// Builds the task the sheet describes (kind 1 encrypt, 2 delete, else send mail).
CAction* BuildWizardTask(const WizardSheet& sheet);

// "Enter message text": the subject and text of a mail, with their length limits.
class CDlgMessageText : public QDialog {
    Q_OBJECT
public:
    CDlgMessageText(const std::string& subject, const std::string& text, QWidget* parent = nullptr);
    void accept() override;
    QLineEdit* Subject() const { return m_subject; }
    QPlainTextEdit* Text() const { return m_text; }

private:
    QLineEdit* m_subject;
    QPlainTextEdit* m_text;
};

class CWizSheet;

class CPageSelectTask : public QWizardPage {
    Q_OBJECT
public:
    explicit CPageSelectTask(CWizSheet* sheet);
    bool validatePage() override;
    int nextId() const override;
    // "Create empty task": true when the task may be built now.
    bool TakeEmpty();
    QRadioButton* Kind(int kind) const;
    QLineEdit* Name() const { return m_name; }
    QLineEdit* Folder() const { return m_folder; }
    QCheckBox* Subfolders() const { return m_subfolders; }

private:
    void Store(int kind);
    int ChosenKind() const;
    CWizSheet* m_sheet;
    QButtonGroup* m_kinds;
    QLineEdit* m_name;
    QLineEdit* m_folder;
    QPushButton* m_browse;
    QCheckBox* m_subfolders;
};

class CPageFileTypes : public QWizardPage {
    Q_OBJECT
public:
    explicit CPageFileTypes(CWizSheet* sheet);
    void initializePage() override;
    bool validatePage() override;
    int nextId() const override;
    QListWidget* Found() const { return m_found; }
    QListWidget* Chosen() const { return m_chosen; }
    void MoveOne(bool toChosen);
    void MoveAll(bool toChosen);

private:
    CWizSheet* m_sheet;
    QListWidget* m_found;
    QListWidget* m_chosen;
};

class CPageEncProps : public QWizardPage {
    Q_OBJECT
public:
    explicit CPageEncProps(CWizSheet* sheet);
    void initializePage() override;
    bool validatePage() override;
    int nextId() const override { return -1; }
    void AskSecret();
    QLineEdit* Destination() const { return m_dest; }
    QRadioButton* ArchiveYes() const { return m_archiveYes; }
    QLineEdit* ArchiveName() const { return m_archiveName; }
    QComboBox* Algorithm() const { return m_algorithm; }
    QComboBox* Mode() const { return m_mode; }
    QCheckBox* Wipe() const { return m_wipe; }
    QCheckBox* UseKey() const { return m_useKey; }
    QPushButton* SecretButton() const { return m_secret; }
    bool AskedOnOpen() const { return m_askedOnOpen; }

private:
    void ShowKeyMode();
    CWizSheet* m_sheet;
    QLineEdit* m_dest;
    QRadioButton* m_archiveYes;
    QRadioButton* m_archiveNo;
    QLineEdit* m_archiveName;
    QPushButton* m_archiveBrowse;
    QComboBox* m_algorithm;
    QComboBox* m_mode;
    QCheckBox* m_wipe;
    QCheckBox* m_useKey;
    QLabel* m_secretGroup;
    QPushButton* m_secret;
    bool m_askedOnOpen = false;
};

class CPageDelProps : public QWizardPage {
    Q_OBJECT
public:
    explicit CPageDelProps(CWizSheet* sheet);
    bool validatePage() override;
    int nextId() const override { return -1; }
    QRadioButton* Type(int type) const; // 1 trash, 2 delete, 3 wipe
    QSpinBox* Rounds() const { return m_rounds; }

private:
    CWizSheet* m_sheet;
    QButtonGroup* m_types;
    QSpinBox* m_rounds;
};

class CPageSendmailProps : public QWizardPage {
    Q_OBJECT
public:
    explicit CPageSendmailProps(CWizSheet* sheet);
    void initializePage() override;
    bool validatePage() override;
    int nextId() const override { return -1; }
    void EditMessage();
    QLineEdit* SendTo() const { return m_sendTo; }
    QCheckBox* UseList() const { return m_useList; }
    QLineEdit* ListFile() const { return m_listFile; }
    QLineEdit* SenderName() const { return m_senderName; }
    QLineEdit* SenderEmail() const { return m_senderEmail; }
    QLineEdit* Server() const { return m_server; }
    QCheckBox* Attach() const { return m_attach; }
    QLineEdit* Attachment() const { return m_attachment; }
    QComboBox* Encoding() const { return m_encoding; }

private:
    CWizSheet* m_sheet;
    QLineEdit* m_sendTo;
    QCheckBox* m_useList;
    QLineEdit* m_listFile;
    QPushButton* m_listBrowse;
    QLineEdit* m_senderName;
    QLineEdit* m_senderEmail;
    QLineEdit* m_server;
    QCheckBox* m_attach;
    QLineEdit* m_attachment;
    QPushButton* m_attachBrowse;
    QComboBox* m_encoding;
};

// The new-task wizard. exec() gives Accepted once a task was built; TakeTask() hands it over.
class CWizSheet : public QWizard {
    Q_OBJECT
public:
    enum PageId { SelectTask = 0, FileTypes = 1, EncProps = 2, DelProps = 3, SendmailProps = 4 };
    explicit CWizSheet(std::uint32_t options, QWidget* parent = nullptr);
    ~CWizSheet() override;
    void accept() override;
    CAction* TakeTask(int& kind);
    WizardSheet& Sheet() { return m_sheet; }

private:
    WizardSheet m_sheet;
    CAction* m_task = nullptr;
    bool m_empty = false;
};

} // namespace jobkit
