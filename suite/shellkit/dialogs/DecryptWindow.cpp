#include "shellkit/dialogs/DecryptWindow.h"

#include "corecrypt/EncryptedFile.h"
#include "misckit/HiddenMessages.h"
#include "misckit/Registry.h"
#include "misckit/dialogs/WindowMemory.h"
#include "platform/XdgPaths.h"
#include "shellkit/dialogs/PathField.h"
#include "uikit/Ui.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <sys/stat.h>

namespace shellkit {
namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void Say(const std::string& text, uikit::Icon icon = uikit::Icon::Warning) {
    uikit::MessageBox(text, "Decrypt", uikit::Buttons::OK, icon);
}

} // namespace

CDecryptWindow::CDecryptWindow(const std::vector<std::string>& files, QWidget* parent)
    : QDialog(parent), m_files(files) {
    setWindowTitle(tr("Decrypt"));
    setObjectName(QStringLiteral("DecryptWindow"));
    auto* layout = new QVBoxLayout(this);

    auto* filesLabel = new QLabel(tr("&Files to decrypt:"), this);
    m_list = new QListWidget(this);
    filesLabel->setBuddy(m_list);
    for (const auto& file : m_files) {
        auto* item = new QListWidgetItem(QFileInfo(Q(file)).fileName(), m_list);
        item->setToolTip(Q(file));
    }
    m_list->setMaximumHeight(
        std::max(60, std::min(140, m_list->sizeHintForRow(0) * (m_list->count() + 1) + 8)));
    layout->addWidget(filesLabel);
    layout->addWidget(m_list);

    auto* keyGroup = new QGroupBox(tr("Key"), this);
    auto* keyForm = new QFormLayout(keyGroup);
    m_usePassword = new QRadioButton(tr("&Password:"), keyGroup);
    m_password = new QLineEdit(keyGroup);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setAccessibleName(tr("Password"));
    keyForm->addRow(m_usePassword, m_password);
    m_useKeyFile = new QRadioButton(tr("&Key file:"), keyGroup);
    m_keyFile = new QLineEdit(keyGroup);
    m_keyFile->setAccessibleName(tr("Key file"));
    m_chooseKeyFile = MakeChooserButton(keyGroup, tr("Choose the key file"));
    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(m_keyFile, 1);
    keyRow->addWidget(m_chooseKeyFile);
    keyForm->addRow(m_useKeyFile, keyRow);
    layout->addWidget(keyGroup);

    auto* outForm = new QFormLayout;
    m_folder = new QLineEdit(this);
    auto* chooseFolder = MakeChooserButton(this, tr("Choose the output folder"));
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(chooseFolder);
    auto* folderLabel = new QLabel(tr("&Output folder:"), this);
    folderLabel->setBuddy(m_folder);
    outForm->addRow(folderLabel, folderRow);
    layout->addLayout(outForm);
    m_overwrite = new QCheckBox(tr("O&verwrite existing files"), this);
    m_restoreTimes = new QCheckBox(tr("&Restore file times"), this);
    layout->addWidget(m_overwrite);
    layout->addWidget(m_restoreTimes);

    m_bar = new QProgressBar(this);
    m_bar->setAccessibleName(tr("Progress"));
    m_bar->setRange(0, static_cast<int>(m_files.size()));
    m_bar->setValue(0);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    layout->addWidget(m_bar);
    layout->addWidget(m_status);
    layout->addStretch();

    auto* buttons = new QDialogButtonBox(this);
    m_decrypt = buttons->addButton(tr("&Decrypt"), QDialogButtonBox::AcceptRole);
    m_close = buttons->addButton(QDialogButtonBox::Close);
    m_decrypt->setDefault(true);
    layout->addWidget(buttons);

    // What the first file's header says picks the kind of key.
    bool keyFile = false;
    int code = 0;
    std::string error;
    if (!m_files.empty() && corecrypt::ReadEncryptedFileInfo(m_files.front(), keyFile, code, error) &&
        keyFile)
        m_useKeyFile->setChecked(true);
    else
        m_usePassword->setChecked(true);
    const CQMRegistry settings;
    std::string keys = misckit::GetKeyFolder();
    if (!m_files.empty())
        m_folder->setText(QFileInfo(Q(m_files.front())).absolutePath());
    m_overwrite->setChecked(false);
    m_restoreTimes->setChecked(settings.GetRestoreTime());
    UpdateKeyFields();

    connect(m_usePassword, &QRadioButton::toggled, this, &CDecryptWindow::UpdateKeyFields);
    connect(m_chooseKeyFile, &QToolButton::clicked, this, [this, keys] {
        uikit::FileRequest request;
        request.title = "Choose the key file";
        request.filter = "Quillmark key files (*.qmk)|*.qmk|All Files (*.*)|*.*||";
        request.initialPath = m_keyFile->text().isEmpty() ? keys : m_keyFile->text().toStdString();
        request.flags = uikit::kFileMustExist | uikit::kPathMustExist;
        if (auto chosen = uikit::ChooseFiles(request); chosen && !chosen->empty())
            m_keyFile->setText(Q(chosen->front()));
    });
    connect(chooseFolder, &QToolButton::clicked, this, [this] {
        uikit::FolderRequest request{"Quillmark", "Select output folder", m_folder->text().toStdString()};
        if (auto chosen = uikit::ChooseFolder(request))
            m_folder->setText(Q(*chosen));
    });
    connect(m_decrypt, &QPushButton::clicked, this, [this] {
        if (Decrypt())
            accept();
    });
    connect(m_close, &QPushButton::clicked, this, &CDecryptWindow::reject);
    resize(520, 460);
    new misckit::CWindowMemory(this, QStringLiteral("Decrypt"));
}

CDecryptWindow::~CDecryptWindow() {
    m_password->clear();
}

void CDecryptWindow::UpdateKeyFields() {
    const bool password = m_usePassword->isChecked();
    m_password->setEnabled(password);
    m_keyFile->setEnabled(!password);
    m_chooseKeyFile->setEnabled(!password);
}

void CDecryptWindow::reject() {
    // During the work Close asks the loop to stop after the current file; it leaves no partial file.
    if (m_running) {
        m_cancel = true;
        return;
    }
    QDialog::reject();
}

bool CDecryptWindow::CheckInput(std::string& folder) {
    if (m_usePassword->isChecked() && m_password->text().isEmpty()) {
        Say("Please enter the password.", uikit::Icon::Information);
        m_password->setFocus();
        return false;
    }
    if (m_useKeyFile->isChecked() && !QFileInfo(m_keyFile->text()).isFile()) {
        Say("Please choose an existing key file.", uikit::Icon::Information);
        m_keyFile->setFocus();
        return false;
    }
    folder = m_folder->text().trimmed().toStdString();
    if (folder.empty() || folder.front() != '/') {
        Say("Please enter the full path of the output folder.", uikit::Icon::Information);
        m_folder->setFocus();
        return false;
    }
    if (!IsFolder(folder)) {
        if (uikit::MessageBox("The folder \"" + folder + "\" does not exist. Create it?", "Decrypt",
                              uikit::Buttons::YesNo, uikit::Icon::Question) != uikit::Answer::Yes)
            return false;
        std::string error;
        if (!platform::MakeFolders(folder, 0700, error)) {
            Say("Cannot create the folder \"" + folder + "\": " + error);
            return false;
        }
    }
    return true;
}

bool CDecryptWindow::Decrypt() {
    std::string folder;
    if (m_running || !CheckInput(folder))
        return false;
    const bool keyFile = m_useKeyFile->isChecked();
    const std::string key = (keyFile ? m_keyFile->text() : m_password->text()).toStdString();
    m_running = true;
    m_cancel = false;
    m_decrypt->setEnabled(false);
    m_close->setText(tr("&Cancel"));
    m_bar->setValue(0);
    std::vector<std::string> failures;
    std::size_t done = 0;
    for (const auto& file : m_files) {
        if (m_cancel)
            break;
        m_status->setText(tr("Decrypting %1...").arg(QFileInfo(Q(file)).fileName()));
        uikit::PumpMessages();
        std::string written;
        std::string error;
        if (corecrypt::DecryptFile(file, folder + "/", key, m_overwrite->isChecked(),
                                   m_restoreTimes->isChecked(), &written, error))
            m_written.push_back(written);
        else
            failures.push_back(file + ": " + error);
        m_bar->setValue(static_cast<int>(++done));
        uikit::PumpMessages();
    }
    m_running = false;
    m_decrypt->setEnabled(true);
    m_close->setText(tr("&Close"));
    if (m_cancel && done < m_files.size())
        failures.push_back("Cancelled: " + std::to_string(m_files.size() - done) +
                           " file(s) were not decrypted.");
    Finish(failures, folder);
    return failures.empty();
}

void CDecryptWindow::Finish(const std::vector<std::string>& failures, const std::string& folder) {
    const std::size_t ok = m_written.size();
    m_status->setText(tr("%1 of %2 file(s) decrypted.").arg(ok).arg(m_files.size()));
    if (!failures.empty())
        uikit::ShowList("These files were not decrypted:", failures);
    if (ok == 0)
        return;
    uikit::Message question;
    question.text =
        std::to_string(ok) + " file(s) decrypted into \"" + folder + "\".\nOpen the output folder?";
    question.caption = "Decrypt";
    question.buttons = uikit::Buttons::YesNo;
    question.icon = uikit::Icon::Question;
    if (misckit::ShowHideableMessage("OpenOutputFolder", question, uikit::Answer::No) == uikit::Answer::Yes)
        uikit::OpenUrl(QUrl::fromLocalFile(Q(folder)).toString().toStdString());
}

} // namespace shellkit
