#include "tasks/dialogs/WizSheet.h"

#include "corecrypt/FileProcessor.h"
#include "misckit/ErrorList.h"
#include "misckit/Registry.h"
#include "misckit/SessionKey.h"
#include "netkit/dialogs/AdvancedMail.h"
#include "tasks/model/Action.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"
#include "tasks/model/FileMaskText.h"
#include "uikit/ShellInfo.h"
#include "uikit/Ui.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <set>

namespace jobkit {

namespace {

void Tell(const char* text) {
    uikit::MessageBox(text, misckit::szAppName, uikit::Buttons::OK, uikit::Icon::Information);
}

bool IsFolder(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

// The bold headings of the first pages.
QLabel* Heading(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font(QStringLiteral("Sans Serif"));
    font.setBold(true);
    font.setPixelSize(16);
    label->setFont(font);
    label->setWordWrap(true);
    return label;
}

QLineEdit* Field(const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setAccessibleName(name);
    return edit;
}

QLabel* Buddy(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

std::string Text(const QLineEdit* edit) {
    return edit->text().toStdString();
}

std::optional<std::string> ChooseFolder(const std::string& text, const std::string& current) {
    return uikit::ChooseFolder({"Select folder", text, current});
}

std::optional<std::string> ChooseFile(const std::string& title, const std::string& filter, bool save,
                                      const std::string& defaultExtension, const std::string& current) {
    uikit::FileRequest request;
    request.title = title;
    request.filter = filter;
    request.save = save;
    request.defaultExtension = defaultExtension;
    request.initialPath = current;
    const auto chosen = uikit::ChooseFiles(request);
    if (!chosen || chosen->empty())
        return std::nullopt;
    return chosen->front();
}

const QStringList kAlgorithms{"AES",  "Blowfish", "CAST-256", "GOST",      "Square",
                              "MARS", "RC-6",     "Serpent",  "TripleDES", "Twofish"};
const QStringList kModes{"ECB", "CBC", "CFB", "OFB"};

} // namespace

CAction* BuildWizardTask(const WizardSheet& s) {
    const std::string mask = filemask::FromExtensions(s.types);
    if (s.kind == 1) {
        auto* task = new CActionEncryptFile(s.folder);
        task->m_bSubfolders = s.subfolders;
        task->m_csMask = mask;
        task->m_csName = s.name;
        task->m_csDestFolder = s.destFolder;
        task->m_bWipe = s.wipe;
        task->m_bArchive = s.archive;
        task->m_csArchive = s.archive ? s.archiveName : std::string();
        task->m_csKeyFile = s.keyFile;
        task->m_csEncPassword = s.password;
        task->m_nAlgorithm = s.algorithm;
        task->m_nMode = s.mode;
        return task;
    }
    if (s.kind == 2) {
        auto* task = new CActionDeleteFile(s.folder);
        task->m_bSubfolders = s.subfolders;
        task->m_csMask = mask;
        task->m_csName = s.name;
        task->m_nDelType = s.delType;
        task->m_nWipeRounds = s.wipeRounds;
        return task;
    }
    auto* task = new CActionSendEmail;
    task->m_csName = s.name;
    task->m_csSendTo = s.sendTo;
    task->m_csRecipientsFile = s.recipientsFile;
    task->m_csSenderName = s.senderName;
    task->m_csSenderEmail = s.senderEmail;
    task->m_csSubject = s.subject;
    task->m_csMessage = s.message;
    task->m_csServer = s.server;
    task->m_csEncoding = s.encoding;
    task->m_csAttachment = s.attachment;
    task->m_csViaIp = s.viaIp;
    task->m_csLogin = s.login;
    task->m_csMailPassword = s.mailPassword;
    task->m_bAuth = s.auth;
    return task;
}

// ---- "Enter message text" -------------------------------------------------------------------------

CDlgMessageText::CDlgMessageText(const std::string& subject, const std::string& text, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("Enter message text"));
    auto* layout = new QVBoxLayout(this);
    m_subject = Field(tr("Subject"), this);
    m_subject->setText(QString::fromStdString(subject));
    layout->addWidget(Buddy(tr("&Subject:"), m_subject, this));
    layout->addWidget(m_subject);
    m_text = new QPlainTextEdit(QString::fromStdString(text), this);
    m_text->setAccessibleName(tr("Message text"));
    m_text->setTabChangesFocus(true);
    layout->addWidget(Buddy(tr("&Text:"), m_text, this));
    layout->addWidget(m_text, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgMessageText::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(520, 380);
}

void CDlgMessageText::accept() {
    if (m_subject->text().size() > 200) {
        Tell("The subject is too long. The maximum subject length is 200 symbols.");
        return;
    }
    if (m_text->toPlainText().size() > 100000) {
        Tell("The message is too long. The maximum message length is 100 000 symbols.");
        return;
    }
    QDialog::accept();
}

// ---- step 1 ---------------------------------------------------------------------------------------

CPageSelectTask::CPageSelectTask(CWizSheet* sheet) : m_sheet(sheet) {
    setTitle(tr("Step 1 : Select action and folder"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Heading(tr("Select Task Type"), this));
    m_kinds = new QButtonGroup(this);
    const QStringList kinds{tr("&Encrypt files"), tr("Securely &delete (wipe) files"), tr("Send e&mail")};
    for (int i = 0; i < kinds.size(); ++i) {
        auto* radio = new QRadioButton(kinds[i], this);
        m_kinds->addButton(radio, i + 1);
        layout->addWidget(radio);
    }
    m_kinds->button(1)->setChecked(true);
    m_name = Field(tr("Task name"), this);
    layout->addWidget(Buddy(tr("Enter task &name:"), m_name, this));
    layout->addWidget(m_name);
    layout->addWidget(Heading(tr("Select Folder"), this));
    auto* row = new QHBoxLayout;
    m_folder = Field(tr("Folder"), this);
    m_browse = new QPushButton(tr("&Browse..."), this);
    m_browse->setAccessibleName(tr("Browse for the folder"));
    row->addWidget(m_folder, 1);
    row->addWidget(m_browse);
    layout->addLayout(row);
    m_subfolders = new QCheckBox(tr("Include &subfolders"), this);
    layout->addWidget(m_subfolders);
    layout->addStretch();
    connect(m_browse, &QPushButton::clicked, this, [this] {
        if (auto folder = ChooseFolder("Select folder in which you want to do the task..", Text(m_folder)))
            m_folder->setText(QString::fromStdString(*folder));
    });
    connect(m_kinds, &QButtonGroup::idToggled, this, [this] {
        const bool files = ChosenKind() != 3;
        m_folder->setEnabled(files);
        m_browse->setEnabled(files);
        m_subfolders->setEnabled(files);
    });
}

QRadioButton* CPageSelectTask::Kind(int kind) const {
    return qobject_cast<QRadioButton*>(m_kinds->button(kind));
}

int CPageSelectTask::ChosenKind() const {
    return std::max(1, m_kinds->checkedId());
}

void CPageSelectTask::Store(int kind) {
    WizardSheet& s = m_sheet->Sheet();
    s.folder = Text(m_folder);
    s.subfolders = m_subfolders->isChecked() ? 1 : 0;
    s.kind = kind;
}

bool CPageSelectTask::validatePage() {
    const int kind = ChosenKind();
    if (kind != 3 && !IsFolder(m_folder->text())) {
        Tell("The directory does not exists. Please select existing directory.");
        m_folder->setFocus();
        return false;
    }
    Store(kind);
    m_sheet->Sheet().name = Text(m_name);
    return true;
}

int CPageSelectTask::nextId() const {
    return ChosenKind() == 3 ? CWizSheet::SendmailProps : CWizSheet::FileTypes;
}

bool CPageSelectTask::TakeEmpty() {
    if (!IsFolder(m_folder->text()))
        if (auto folder = ChooseFolder("Select folder in which you want to do the task..", Text(m_folder)))
            m_folder->setText(QString::fromStdString(*folder));
    if (!IsFolder(m_folder->text())) {
        Tell("The directory does not exists. Please select existing directory.");
        return false;
    }
    Store(ChosenKind() == 1 ? 1 : 2);
    return true;
}

// ---- step 2: file types ---------------------------------------------------------------------------

CPageFileTypes::CPageFileTypes(CWizSheet* sheet) : m_sheet(sheet) {
    setTitle(tr("Step 2: Select file types"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Heading(tr("Choose the types of files the task works on."), this));
    auto* grid = new QGridLayout;
    m_found = new QListWidget(this);
    m_chosen = new QListWidget(this);
    grid->addWidget(Buddy(tr("Selected folder contains the following file types:"), m_found, this), 0, 0);
    grid->addWidget(Buddy(tr("File types on which the task will be performed."), m_chosen, this), 0, 2);
    grid->addWidget(m_found, 1, 0);
    grid->addWidget(m_chosen, 1, 2);
    auto* buttons = new QVBoxLayout;
    const struct {
        const char* text;
        const char* name;
        void (CPageFileTypes::*move)(bool);
        bool toChosen;
    } moves[] = {{">", "Add the selected type", &CPageFileTypes::MoveOne, true},
                 {">>", "Add all types", &CPageFileTypes::MoveAll, true},
                 {"<", "Remove the selected type", &CPageFileTypes::MoveOne, false},
                 {"<<", "Remove all types", &CPageFileTypes::MoveAll, false}};
    buttons->addStretch();
    for (const auto& m : moves) {
        auto* button = new QPushButton(QString::fromLatin1(m.text), this);
        button->setAccessibleName(tr(m.name));
        connect(button, &QPushButton::clicked, this, [this, m] { (this->*m.move)(m.toChosen); });
        buttons->addWidget(button);
    }
    buttons->addStretch();
    grid->addLayout(buttons, 1, 1);
    layout->addLayout(grid, 1);
}

void CPageFileTypes::initializePage() {
    m_found->clear();
    m_chosen->clear();
    const WizardSheet& s = m_sheet->Sheet();
    CFileProcessor processor;
    {
        uikit::WaitCursor wait;
        processor.AddFile(s.folder, "", s.subfolders ? 0 : 1, nullptr);
    }
    std::set<std::string> extensions;
    for (const std::string& path : processor.GetFiles()) {
        const std::size_t slash = path.rfind('/');
        const std::size_t dot = path.rfind('.');
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1) &&
            dot + 1 < path.size())
            extensions.insert(path.substr(dot));
    }
    for (const std::string& ext : extensions) {
        auto* item =
            new QListWidgetItem(QString::fromStdString(ext + "  " + uikit::GetFileTypeName("x" + ext)));
        item->setData(Qt::UserRole, QString::fromStdString(ext));
        m_found->addItem(item);
    }
}

void CPageFileTypes::MoveOne(bool toChosen) {
    QListWidget* from = toChosen ? m_found : m_chosen;
    QListWidget* to = toChosen ? m_chosen : m_found;
    QListWidgetItem* item = from->currentItem();
    if (!item || !item->isSelected()) {
        Tell(toChosen ? "Select an item in the left list box." : "Select an item in the right list box.");
        return;
    }
    to->addItem(from->takeItem(from->row(item)));
}

void CPageFileTypes::MoveAll(bool toChosen) {
    QListWidget* from = toChosen ? m_found : m_chosen;
    QListWidget* to = toChosen ? m_chosen : m_found;
    while (from->count() > 0)
        to->addItem(from->takeItem(0));
}

bool CPageFileTypes::validatePage() {
    if (m_chosen->count() == 0) {
        Tell("You should select types of files which must be affected by the task.");
        return false;
    }
    WizardSheet& s = m_sheet->Sheet();
    s.types.clear();
    for (int i = 0; i < m_chosen->count(); ++i)
        s.types.push_back(m_chosen->item(i)->data(Qt::UserRole).toString().toStdString());
    return true;
}

int CPageFileTypes::nextId() const {
    return m_sheet->Sheet().kind == 1 ? CWizSheet::EncProps : CWizSheet::DelProps;
}

// ---- step 3: encryption ---------------------------------------------------------------------------

CPageEncProps::CPageEncProps(CWizSheet* sheet) : m_sheet(sheet) {
    setTitle(tr("Step 3: Encryption preferences"));
    setFinalPage(true);
    auto* layout = new QGridLayout(this);
    int row = 0;
    m_dest = Field(tr("Destination folder"), this);
    auto* destBrowse = new QPushButton(tr("Bro&wse..."), this);
    destBrowse->setAccessibleName(tr("Browse for the destination folder"));
    layout->addWidget(Buddy(tr("Destination &folder"), m_dest, this), row, 0);
    layout->addWidget(m_dest, row, 1);
    layout->addWidget(destBrowse, row++, 2);

    auto* archiveGroup = new QGroupBox(tr("Add files to archive?"), this);
    auto* archiveRow = new QHBoxLayout(archiveGroup);
    m_archiveYes = new QRadioButton(tr("&Yes"), archiveGroup);
    m_archiveNo = new QRadioButton(tr("N&o"), archiveGroup);
    m_archiveNo->setChecked(true);
    archiveRow->addWidget(m_archiveYes);
    archiveRow->addWidget(m_archiveNo);
    archiveRow->addStretch();
    layout->addWidget(archiveGroup, row++, 0, 1, 3);
    m_archiveName = Field(tr("Archive name"), this);
    m_archiveBrowse = new QPushButton(tr("Br&owse..."), this);
    m_archiveBrowse->setAccessibleName(tr("Browse for the archive name"));
    layout->addWidget(Buddy(tr("Archive &name:"), m_archiveName, this), row, 0);
    layout->addWidget(m_archiveName, row, 1);
    layout->addWidget(m_archiveBrowse, row++, 2);

    m_algorithm = new QComboBox(this);
    m_algorithm->addItems(kAlgorithms);
    m_algorithm->setAccessibleName(tr("Algorithm"));
    layout->addWidget(Buddy(tr("&Algorithm:"), m_algorithm, this), row, 0);
    layout->addWidget(m_algorithm, row++, 1);
    m_mode = new QComboBox(this);
    m_mode->addItems(kModes);
    m_mode->setAccessibleName(tr("Mode"));
    layout->addWidget(Buddy(tr("Mo&de:"), m_mode, this), row, 0);
    layout->addWidget(m_mode, row++, 1);
    m_wipe = new QCheckBox(tr("&Wipe original files after encryption."), this);
    layout->addWidget(m_wipe, row++, 0, 1, 3);
    m_useKey = new QCheckBox(tr("Use encryption &key"), this);
    layout->addWidget(m_useKey, row++, 0, 1, 3);
    m_secretGroup = new QLabel(this);
    m_secret = new QPushButton(this);
    layout->addWidget(m_secretGroup, row, 0);
    layout->addWidget(m_secret, row++, 1);
    layout->setRowStretch(row, 1);

    connect(destBrowse, &QPushButton::clicked, this, [this] {
        if (auto folder =
                ChooseFolder("Select the folder into which encrypted files must be placed.", Text(m_dest)))
            m_dest->setText(QString::fromStdString(*folder));
    });
    connect(m_archiveYes, &QRadioButton::toggled, this, [this](bool yes) {
        if (!yes)
            m_archiveName->clear();
        m_archiveName->setEnabled(yes);
        m_archiveBrowse->setEnabled(yes);
    });
    connect(m_archiveBrowse, &QPushButton::clicked, this, [this] {
        if (auto name =
                ChooseFile("Enter file name", "Quillmark archives (*.qma)|*.qma|All files (*.*)|*.*||", true,
                           "qma", Text(m_archiveName)))
            m_archiveName->setText(QString::fromStdString(*name));
    });
    connect(m_useKey, &QCheckBox::toggled, this, [this] {
        ShowKeyMode();
        AskSecret();
    });
    connect(m_algorithm, &QComboBox::currentIndexChanged, this, [this] {
        if (m_useKey->isChecked())
            AskSecret();
    });
    connect(m_secret, &QPushButton::clicked, this, &CPageEncProps::AskSecret);
    m_archiveName->setEnabled(false);
    m_archiveBrowse->setEnabled(false);
    ShowKeyMode();
}

void CPageEncProps::ShowKeyMode() {
    const bool key = m_useKey->isChecked();
    m_secretGroup->setText(key ? tr("Encryption key") : tr("Password"));
    m_secret->setText(key ? tr("Set &key file") : tr("Set &password"));
}

void CPageEncProps::initializePage() {
    const int code = std::max(1, static_cast<int>(CQMRegistry().GetMode()));
    const QSignalBlocker block(m_algorithm);
    m_algorithm->setCurrentIndex(std::min((code - 1) / 4, static_cast<int>(kAlgorithms.size()) - 1));
    m_mode->setCurrentIndex((code - 1) % 4);
    // The secret is asked for once, just after the page is shown.
    m_askedOnOpen = false;
    QTimer::singleShot(100, this, [this] {
        if (m_askedOnOpen || !isVisible())
            return;
        m_askedOnOpen = true;
        AskSecret();
    });
}

void CPageEncProps::AskSecret() {
    WizardSheet& s = m_sheet->Sheet();
    SESSIONKEY_ key;
    std::memset(&key, 0, sizeof key);
    if (m_useKey->isChecked()) {
        const auto code =
            static_cast<unsigned char>(m_algorithm->currentIndex() * 4 + m_mode->currentIndex() + 1);
        if (misckit::GTK(&key, code) == 1)
            s.keyFile.assign(key.szKeyFile, strnlen(key.szKeyFile, sizeof key.szKeyFile));
    } else {
        const std::size_t length = std::min<std::size_t>(s.password.size(), kSessionKeyMaxPassword);
        std::memcpy(key.szPassword, s.password.data(), length);
        key.nPasswordLength = static_cast<std::int32_t>(length);
        if (misckit::GTP(&key) == 1)
            s.password.assign(key.szPassword, static_cast<std::size_t>(std::clamp(key.nPasswordLength, 0,
                                                                                  kSessionKeyMaxPassword)));
    }
    misckit::WipeSessionKey(key);
}

bool CPageEncProps::validatePage() {
    WizardSheet& s = m_sheet->Sheet();
    if (!m_dest->text().isEmpty() && !IsFolder(m_dest->text())) {
        Tell("The destination directory does not exists. Please select existing directory.");
        m_dest->setFocus();
        return false;
    }
    if (!m_useKey->isChecked() && s.password.empty()) {
        Tell("Please set password.");
        m_secret->setFocus();
        return false;
    }
    if (m_useKey->isChecked() && !QFileInfo(QString::fromStdString(s.keyFile)).isFile()) {
        Tell("Please select the existing key file.");
        m_secret->setFocus();
        return false;
    }
    if (m_archiveYes->isChecked() && !IsFolder(QFileInfo(m_archiveName->text()).absolutePath())) {
        Tell("Archive name contains folder that does not exists.\nArchive must be in an existing folder.");
        m_archiveName->setFocus();
        return false;
    }
    s.destFolder = Text(m_dest);
    s.archive = m_archiveYes->isChecked() ? 1 : 0;
    if (s.archive)
        s.archiveName = Text(m_archiveName);
    if (m_wipe->isChecked())
        s.wipe = 1;
    s.useKeyFile = m_useKey->isChecked() ? 1 : 0;
    // A task uses either its key file or its password, never one left from an earlier choice.
    if (s.useKeyFile)
        s.password.clear();
    else
        s.keyFile.clear();
    s.algorithm = m_algorithm->currentIndex();
    s.mode = m_mode->currentIndex();
    CQMRegistry().WriteBYTE("Mode", static_cast<unsigned char>(s.algorithm * 4 + s.mode + 1));
    return true;
}

// ---- step 3: deletion -----------------------------------------------------------------------------

CPageDelProps::CPageDelProps(CWizSheet* sheet) : m_sheet(sheet) {
    setTitle(tr("Step 3: Deletion options"));
    setFinalPage(true);
    auto* layout = new QVBoxLayout(this);
    m_types = new QButtonGroup(this);
    const QStringList types{tr("Move to &Recycle Bin"), tr("&Delete"), tr("&Wipe")};
    for (int i = 0; i < types.size(); ++i) {
        auto* radio = new QRadioButton(types[i], this);
        m_types->addButton(radio, i + 1);
        layout->addWidget(radio);
    }
    m_types->button(3)->setChecked(true);
    m_rounds = new QSpinBox(this);
    m_rounds->setRange(1, 99);
    m_rounds->setValue(3);
    m_rounds->setAccessibleName(tr("Number of wiping rounds"));
    auto* row = new QHBoxLayout;
    row->addWidget(Buddy(tr("Number of wiping r&ounds"), m_rounds, this));
    row->addWidget(m_rounds);
    row->addStretch();
    layout->addLayout(row);
    layout->addStretch();
    connect(m_types, &QButtonGroup::idToggled, this,
            [this] { m_rounds->setEnabled(m_types->checkedId() == 3); });
}

QRadioButton* CPageDelProps::Type(int type) const {
    return qobject_cast<QRadioButton*>(m_types->button(type));
}

bool CPageDelProps::validatePage() {
    m_sheet->Sheet().delType = m_types->checkedId();
    m_sheet->Sheet().wipeRounds = m_rounds->value();
    return true;
}

// ---- step 2: mail ---------------------------------------------------------------------------------

CPageSendmailProps::CPageSendmailProps(CWizSheet* sheet) : m_sheet(sheet) {
    setTitle(tr("Step 2: Send Mail Options"));
    setFinalPage(true);
    auto* layout = new QGridLayout(this);
    int row = 0;
    auto add = [&](const QString& label, QWidget* field, QWidget* extra = nullptr) {
        layout->addWidget(Buddy(label, field, this), row, 0);
        layout->addWidget(field, row, 1);
        if (extra)
            layout->addWidget(extra, row, 2);
        ++row;
    };
    m_sendTo = Field(tr("Send to"), this);
    add(tr("Send &to:"), m_sendTo);
    m_useList = new QCheckBox(tr("Use recipients &list"), this);
    layout->addWidget(m_useList, row++, 0, 1, 3);
    m_listFile = Field(tr("Recipients list"), this);
    m_listBrowse = new QPushButton(tr("Br&owse..."), this);
    m_listBrowse->setAccessibleName(tr("Browse for the recipients list"));
    add(tr("Recipients l&ist:"), m_listFile, m_listBrowse);
    m_senderName = Field(tr("Sender's name"), this);
    add(tr("Sender's &name:"), m_senderName);
    m_senderEmail = Field(tr("Sender's email"), this);
    add(tr("Sender's &email:"), m_senderEmail);
    m_server = Field(tr("Mail server"), this);
    add(tr("Mail &server:"), m_server);
    m_encoding = new QComboBox(this);
    m_encoding->setAccessibleName(tr("Encoding"));
    add(tr("En&coding:"), m_encoding);
    m_attach = new QCheckBox(tr("Attach &file:"), this);
    m_attachment = Field(tr("Attach file"), this);
    m_attachBrowse = new QPushButton(tr("Brow&se..."), this);
    m_attachBrowse->setAccessibleName(tr("Browse for the file to attach"));
    layout->addWidget(m_attach, row, 0);
    layout->addWidget(m_attachment, row, 1);
    layout->addWidget(m_attachBrowse, row++, 2);
    auto* message = new QPushButton(tr("Click here to edit &message"), this);
    auto* advanced = new QPushButton(tr("&Advanced settings"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(message);
    buttons->addWidget(advanced);
    buttons->addStretch();
    layout->addLayout(buttons, row++, 0, 1, 3);
    layout->setRowStretch(row, 1);

    const auto follow = [this] {
        m_listFile->setEnabled(m_useList->isChecked());
        m_listBrowse->setEnabled(m_useList->isChecked());
        m_attachment->setEnabled(m_attach->isChecked());
        m_attachBrowse->setEnabled(m_attach->isChecked());
    };
    follow();
    connect(m_useList, &QCheckBox::toggled, this, follow);
    connect(m_attach, &QCheckBox::toggled, this, follow);
    connect(m_listBrowse, &QPushButton::clicked, this, [this] {
        if (auto file = ChooseFile("Select file with recipients list", "All Files (*.*)|*.*||", false, "",
                                   Text(m_listFile)))
            m_listFile->setText(QString::fromStdString(*file));
    });
    connect(m_attachBrowse, &QPushButton::clicked, this, [this] {
        if (auto file =
                ChooseFile("Select a file to attach", "All Files (*.*)|*.*||", false, "", Text(m_attachment)))
            m_attachment->setText(QString::fromStdString(*file));
    });
    connect(message, &QPushButton::clicked, this, &CPageSendmailProps::EditMessage);
    connect(advanced, &QPushButton::clicked, this, [this] {
        WizardSheet& s = m_sheet->Sheet();
        s.encoding = m_encoding->currentText().toStdString();
        NetKit::Mail::ShowAdvancedMailUI(s.viaIp, s.encoding, s.login, s.mailPassword, s.auth, this);
        m_encoding->setCurrentText(QString::fromStdString(s.encoding));
    });
}

void CPageSendmailProps::initializePage() {
    WizardSheet& s = m_sheet->Sheet();
    if (m_encoding->count() == 0) {
        for (const std::string& option : CActionSendEmail::EncodingOptions())
            m_encoding->addItem(QString::fromStdString(option));
        const std::vector<std::string> ips = CActionSendEmail::ViaIpOptions();
        s.viaIp = ips.empty() ? std::string() : ips.front();
        s.encoding = "UTF-8 (utf-8)";
        if (m_encoding->findText(QString::fromStdString(s.encoding)) < 0)
            m_encoding->insertItem(0, QString::fromStdString(s.encoding));
        m_encoding->setCurrentText(QString::fromStdString(s.encoding));
    }
    // The message is asked for first, each time the page is shown.
    QTimer::singleShot(0, this, &CPageSendmailProps::EditMessage);
}

void CPageSendmailProps::EditMessage() {
    WizardSheet& s = m_sheet->Sheet();
    CDlgMessageText dialog(s.subject, s.message, this);
    if (dialog.exec() == QDialog::Accepted) {
        s.subject = dialog.Subject()->text().toStdString();
        s.message = dialog.Text()->toPlainText().toStdString();
    }
}

bool CPageSendmailProps::validatePage() {
    WizardSheet& s = m_sheet->Sheet();
    const bool useList = m_useList->isChecked() && !m_listFile->text().isEmpty();
    if (m_sendTo->text().isEmpty() && !useList) {
        Tell("You need to specify the recipients's email address or a file with the list of recipients.");
        m_sendTo->setFocus();
        return false;
    }
    if (!useList && (!m_sendTo->text().contains('@') || !m_sendTo->text().contains('.'))) {
        Tell("Unsupported format of the recient's email address.");
        m_sendTo->setFocus();
        return false;
    }
    if (m_senderEmail->text().isEmpty()) {
        Tell("You need to specify the sender's email address.");
        m_senderEmail->setFocus();
        return false;
    }
    if (s.message.empty()) {
        Tell("The message does not contain any text.");
        EditMessage();
        return false;
    }
    if (m_server->text().isEmpty()) {
        Tell("You need to specify mail server.");
        m_server->setFocus();
        return false;
    }
    s.sendTo = Text(m_sendTo);
    s.recipientsFile = m_useList->isChecked() ? Text(m_listFile) : std::string();
    s.senderName = Text(m_senderName);
    s.senderEmail = Text(m_senderEmail);
    s.server = Text(m_server);
    s.encoding = m_encoding->currentText().toStdString();
    s.attachment = m_attach->isChecked() ? Text(m_attachment) : std::string();
    return true;
}

// ---- the sheet ------------------------------------------------------------------------------------

CWizSheet::CWizSheet(std::uint32_t options, QWidget* parent) : QWizard(parent) {
    m_sheet.options = options;
    setWindowTitle(tr("New Task"));
    setWizardStyle(QWizard::ClassicStyle);
    auto* first = new CPageSelectTask(this);
    setPage(SelectTask, first);
    setPage(FileTypes, new CPageFileTypes(this));
    setPage(EncProps, new CPageEncProps(this));
    setPage(DelProps, new CPageDelProps(this));
    setPage(SendmailProps, new CPageSendmailProps(this));
    setStartId(SelectTask);
    if (!(options & 1)) {
        setButtonText(QWizard::CustomButton1, tr("Create &empty task"));
        setOption(QWizard::HaveCustomButton1, true);
        connect(this, &QWizard::customButtonClicked, this, [this, first](int which) {
            if (which == QWizard::CustomButton1 && currentId() == SelectTask && first->TakeEmpty()) {
                m_empty = true;
                accept();
            }
        });
        connect(this, &QWizard::currentIdChanged, this,
                [this](int id) { button(QWizard::CustomButton1)->setVisible(id == SelectTask); });
    }
    resize(600, 460);
}

CWizSheet::~CWizSheet() {
    delete m_task;
}

void CWizSheet::accept() {
    // Finish checks the last page first; an empty task skips the checks of the first.
    if (!m_empty && !validateCurrentPage())
        return;
    m_empty = false;
    delete m_task;
    m_task = BuildWizardTask(m_sheet);
    QDialog::accept();
}

CAction* CWizSheet::TakeTask(int& kind) {
    kind = m_sheet.kind;
    CAction* task = m_task;
    m_task = nullptr;
    return task;
}

} // namespace jobkit
