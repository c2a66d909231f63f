// The main window's commands that need no more than the window, the suite's libraries and the
// store's interface.
#include "center/core/WindowSettings.h"
#include "center/views/DescriptionPane.h"
#include "center/views/ListFilter.h"
#include "center/views/ListModel.h"
#include "center/views/ListRoles.h"
#include "center/windows/ArchiveCommands.h"
#include "center/windows/CenterStore.h"
#include "center/windows/KeyFolderWindow.h"
#include "center/windows/KeyTextWindow.h"
#include "center/windows/LocationsWindow.h"
#include "center/windows/MainWindow.h"
#include "center/windows/ScanWindow.h"
#include "corecrypt/Archive.h"
#include "corecrypt/KeyRing.h"
#include "misckit/Help.h"
#include "misckit/Registry.h"
#include "misckit/SessionKey.h"
#include "platform/DetachedProcess.h"
#include "platform/ProgramFolder.h"
#include "platform/Trash.h"
#include "shellkit/KeyPairGenerator.h"
#include "shellkit/KeyRings.h"
#include "shellkit/ShellWindows.h"
#include "uikit/DirDialog.h"
#include "uikit/Ui.h"
#include "wizkit/QuickStart.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <filesystem>

using center::Command;

namespace {

const char kAppName[] = "Quillmark";

void ShowWarning(const std::string& text, const char* caption = "Error") {
    uikit::MessageBox(text, caption, uikit::Buttons::OK, uikit::Icon::Warning);
}

std::uint64_t TotalSize(const std::vector<std::string>& files) {
    std::uint64_t total = 0;
    std::error_code ec;
    for (const auto& f : files)
        if (std::filesystem::is_regular_file(f, ec))
            total += std::filesystem::file_size(f, ec);
    return total;
}

} // namespace

QModelIndex CMainFrame::SelectedRow() const {
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    return rows.isEmpty() ? QModelIndex() : m_filter->mapToSource(rows.first());
}

void CMainFrame::NewArchive() {
    uikit::FileRequest save;
    save.save = true;
    save.title = "Enter archive name";
    save.filter = "Quillmark archives (*.qma)|*.qma||";
    save.defaultExtension = "qma";
    save.flags = uikit::kOverwritePrompt;
    const auto target = uikit::ChooseFiles(save);
    if (!target || target->empty())
        return;
    const std::string archive = target->front();
    SESSIONKEY_ key{};
    if (!misckit::GTP(&key))
        return;
    const std::string password(key.szPassword,
                               static_cast<std::size_t>(std::clamp(key.nPasswordLength, 0, 300)));
    misckit::WipeSessionKey(key);
    uikit::FileRequest open;
    open.title = "Add Files to Archive";
    open.filter = "All Files (*.*)|*.*||";
    open.flags = uikit::kFileMustExist | uikit::kMultiSelect;
    const auto files = uikit::ChooseFiles(open);
    if (!files || files->empty())
        return;
    // The old file goes only now that the new one has its files: a cancelled choice keeps it.
    std::error_code ec;
    if (std::filesystem::exists(archive, ec)) {
        std::string why;
        if (!platform::MoveToTrash(archive, why))
            std::filesystem::remove(archive, ec);
    }
    const CQMRegistry settings;
    const std::string exts = settings.GetExtsNotCompress();
    const center::WaitResult result = center::RunWithWait(
        this, static_cast<int>(std::min<std::uint64_t>(TotalSize(*files) / 10, 0x7fffffff)),
        [&](CALLBACKSTRUCT_& record, char* error, int size) {
            return EncryptIntoArchive(archive.c_str(), "", *files, password.c_str(), 0, error, size,
                                      settings.GetInOverwrite() == 3 ? 0 : settings.GetInOverwrite(),
                                      settings.GetCompress(), exts.c_str(), settings.GetRecDirs(), &record, 0,
                                      0);
        });
    if (result != center::WaitResult::Done)
        return;
    m_store->AddEncryptedFile(archive);
    Rebuild();
}

void CMainFrame::EncryptionWizard() {
    std::string output;
    std::vector<std::string> written;
    if (shellkit::EncWiz({}, output, nullptr, 0, &written) != shellkit::kWizardFinished || output.empty())
        return;
    for (const std::string& path : written)
        m_store->AddEncryptedFile(path);
    Rebuild();
}

void CMainFrame::StartMessenger() {
    std::string error;
    if (!platform::StartDetached(platform::SiblingProgram("messenger"), {}, error))
        uikit::MessageBox(error, "Error", uikit::Buttons::OK, uikit::Icon::Information);
}

void CMainFrame::Locations() {
    CDlgLocations dialog(this);
    if (dialog.DoModal() == QDialog::Accepted)
        Refresh();
}

void CMainFrame::Refresh() {
    CDlgCancel scan([this](CDlgCancel& window) { m_store->Refresh(window); }, this);
    scan.exec();
    Rebuild();
}

void CMainFrame::FileGone(const QString& path) {
    // Each gone file gets one rescan: when the store still lists it afterwards, another scan
    // would find the same again, round and round.
    if (!m_goneFiles.insert(path).second)
        return;
    const std::vector<std::string> files = m_store->EncryptedFiles();
    if (std::find(files.begin(), files.end(), path.toStdString()) == files.end())
        return; // a scan since the painting has already let it go
    if (QApplication::activeModalWidget()) {
        // Another window holds the user's attention: scan once it has closed.
        m_goneFiles.erase(path);
        QTimer::singleShot(250, this, [this, path] { FileGone(path); });
        return;
    }
    Refresh();
    const std::vector<std::string> after = m_store->EncryptedFiles();
    if (std::find(after.begin(), after.end(), path.toStdString()) == after.end())
        m_goneFiles.erase(path); // should it come back and go again, it gets its rescan again
}

void CMainFrame::Preferences(bool sessionKeyOnly) {
    if (sessionKeyOnly)
        shellkit::ShowCustomPrefsDlg("Session key", {shellkit::kPageSessionKey}, {}, "qmcenter", 0, nullptr);
    else
        shellkit::ShowCustomPrefsDlg("Preferences", {3, 2, 1, 4, 5, 6, 7, 8}, {}, "qmcenter", 0, nullptr);
}

void CMainFrame::DeleteSelected() {
    if (State().focus == center::Pane::Description && m_desc->ShowsKeyFileUsers()) {
        if (m_store->DeleteKeyFileUsers(m_desc->SelectedKeyFileUsers())) {
            Rebuild();
            if (auto* files = qobject_cast<center::CListRowsModel*>(m_desc->model()))
                files->Refill();
        }
        return;
    }
    if (State().focus == center::Pane::Description) {
        const center::ArchiveOutcome outcome = center::DeleteArchiveEntries(*m_desc, this);
        if (outcome == center::ArchiveOutcome::Removed) {
            m_store->RemoveEncryptedFile(m_desc->Archive());
            Rebuild();
        }
        return;
    }
    const QModelIndex row = SelectedRow();
    if (!row.isValid())
        return;
    if (m_store->DeleteRow(m_kind, row)) {
        m_desc->Reset();
        Rebuild();
    }
}

void CMainFrame::SelectOutputFolder() {
    CDirDialog chooser;
    chooser.m_strTitle = "Select output folder";
    chooser.m_strWindowTitle = "Quillmark";
    chooser.m_strInitialDir = m_outputFolders->currentText().toStdString();
    if (chooser.DoBrowse())
        m_outputFolders->setEditText(QString::fromStdString(chooser.m_strPath));
}

void CMainFrame::SaveOutputHistory() {
    const QString current = m_outputFolders->currentText().trimmed();
    if (current.size() >= 2 && m_outputFolders->findText(current) < 0)
        m_outputFolders->insertItem(0, current);
    std::vector<std::string> folders;
    for (int i = 0; i < m_outputFolders->count(); ++i)
        folders.push_back(m_outputFolders->itemText(i).toStdString());
    center::SaveOutputFolders(folders);
}

void CMainFrame::Decrypt(Command command) {
    const std::string folder = m_outputFolders->currentText().left(260).toStdString();
    SaveOutputHistory();
    std::error_code ec;
    if (command != Command::DecryptAndRemove &&
        (folder.empty() || !std::filesystem::is_directory(folder, ec))) {
        uikit::MessageBox("Please, enter output directory in the combo box on the toolbar.", kAppName,
                          uikit::Buttons::OK, uikit::Icon::Information);
        return;
    }
    const std::string archive = m_desc->Archive();
    const center::DecryptWhat what = command == Command::DecryptEntire     ? center::DecryptWhat::Entire
                                     : command == Command::DecryptSelected ? center::DecryptWhat::Selected
                                                                           : center::DecryptWhat::AndRemove;
    if (center::DecryptArchive(*m_desc, what, folder, this) == center::ArchiveOutcome::Removed) {
        m_store->RemoveEncryptedFile(archive);
        Rebuild();
    }
}

void CMainFrame::AddToArchive(bool folder) {
    // The archive is the one the description pane lists; a list row that is not listed yet is
    // listed first.
    const QModelIndex row = SelectedRow();
    if (row.isValid()) {
        const QModelIndex first = row.sibling(row.row(), 0);
        const std::string path = first.data(center::kPathRole).toString().toStdString();
        if (!path.empty() && path != m_desc->Archive() &&
            !m_desc->ShowArchive(path, first.data(center::kKeyFileRole).toString().toStdString()))
            return;
    }
    const std::string archive = m_desc->Archive();
    const center::ArchiveOutcome outcome =
        folder ? center::AddFolderToArchive(*m_desc, this) : center::AddFilesToArchive(*m_desc, this);
    if (outcome != center::ArchiveOutcome::Changed)
        return;
    const std::string now = m_store->ArchiveGrew(archive);
    if (now == archive) {
        m_list->viewport()->update();
        return;
    }
    m_desc->ArchiveMoved(now);
    Rebuild();
}

void CMainFrame::OpenInBoxview() {
    const QModelIndex row = SelectedRow();
    if (!row.isValid())
        return;
    const std::string path = row.sibling(row.row(), 0).data(center::kPathRole).toString().toStdString();
    if (!path.empty())
        shellkit::ShellFileOperation({path}, shellkit::kOpOpenArchive, 0);
}

void CMainFrame::GenerateKeyPair() {
    if (shellkit::GenerateKeyPair() != shellkit::kKeyPairGenerated)
        return;
    m_store->ReloadKeys();
    Rebuild();
}

void CMainFrame::KeyFolder() {
    CDlgKeyFolder dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    CQMRegistry().WriteString(encreg::szKeyFolder, dialog.Folder());
    Refresh();
}

void CMainFrame::ExportKey() {
    if (m_kind != center::kNavPublicKeys && m_kind != center::kNavPrivateKeys)
        return;
    const QModelIndex row = SelectedRow();
    if (!row.isValid()) {
        uikit::MessageBox("Select a key, please.", "Message");
        return;
    }
    const std::string text = row.sibling(row.row(), 0).data(center::kKeyTextRole).toString().toStdString();
    CDlgExpImpKey dialog(CDlgExpImpKey::Export,
                         m_kind == center::kNavPublicKeys ? tr("Copy the public key from here")
                                                          : tr("Copy the private key from here"),
                         text, this);
    dialog.exec();
}

void CMainFrame::ImportKey() {
    if (m_kind != center::kNavPublicKeys && m_kind != center::kNavPrivateKeys)
        return;
    const bool isPublic = m_kind == center::kNavPublicKeys;
    std::string ring;
    std::string publicRing;
    const bool named = isPublic ? shellkit::GetPubKeyFileName(ring, nullptr, 0)
                                : shellkit::GetPrivKeyFileName(ring, nullptr, 4);
    if (!named || ring.empty()) {
        ShowWarning(isPublic
                        ? "Cannot read from the Registry the public keys file name. Check the \"Paths\" "
                          "configuration in the program options."
                        : "Cannot read from the Registry the private keys file name. Check the \"Paths\" "
                          "configuration in the program options.");
        return;
    }
    CDlgExpImpKey dialog(CDlgExpImpKey::Import,
                         isPublic ? tr("Past the public key here") : tr("Past the private key here"), {},
                         this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    char error[1000] = {};
    int ok = 0;
    if (isPublic) {
        std::unique_ptr<CPublicKey> key;
        ok = ParsePublicKey(dialog.Text().c_str(), key, error, sizeof error) &&
             AddPublicKeyToFile(*key, ring.c_str(), error, sizeof error);
    } else {
        std::unique_ptr<CPrivateKey> key;
        // The private key's public half joins the public ring, so the pair stays whole.
        shellkit::GetPubKeyFileName(publicRing, nullptr, 0);
        ok = ParsePrivateKey(dialog.Text().c_str(), key, error, sizeof error) &&
             AddPrivateKeyToFile(*key, ring.c_str(), publicRing.c_str(), error, sizeof error);
    }
    if (!ok) {
        ShowWarning(error);
        return;
    }
    m_store->ReloadKeys();
    Rebuild();
    uikit::MessageBox("The key has been successfully imported.", "Success!", uikit::Buttons::OK,
                      uikit::Icon::Information);
}

void CMainFrame::HelpCommand(Command command) {
    switch (command) {
    case Command::HelpTopics:
        misckit::ShowHelpTopic("/qmhelp/kmover.htm");
        break;
    case Command::QuickStart:
        wizkit::ShowQuickStart(this);
        break;
    case Command::HomePage: {
        std::string link;
        if (misckit::GetLinkText(link, 1, "hlmain"))
            misckit::OpenLink(link, 5);
        break;
    }
    case Command::About:
        uikit::MessageBox("Quillmark Control Center " QM_VERSION
                          "\nKeys, encrypted files, task lists and the schedule.",
                          "About Quillmark", uikit::Buttons::OK, uikit::Icon::Information);
        break;
    default:
        break;
    }
}
