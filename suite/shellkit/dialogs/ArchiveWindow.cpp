#include "shellkit/dialogs/ArchiveWindow.h"

#include "corecrypt/EncryptedFile.h"
#include "corecrypt/QMException.h"
#include "misckit/ArchiveHelpers.h"
#include "misckit/Registry.h"
#include "misckit/dialogs/WindowMemory.h"
#include "platform/XdgPaths.h"
#include "shellkit/dialogs/PathField.h"
#include "uikit/CallbackStruct.h"
#include "uikit/Ui.h"
#include "uikit/qt/BarProgress.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <sys/stat.h>

namespace shellkit {
namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

void Say(const std::string& text, uikit::Icon icon = uikit::Icon::Warning) {
    uikit::MessageBox(text, "Quillmark", uikit::Buttons::OK, icon);
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The engine's progress callback: keeps the window answering while it works.
void Pump(CALLBACKSTRUCT_*) {
    uikit::PumpMessages();
}

} // namespace

CArchiveWindow::CArchiveWindow(const std::string& archive, QWidget* parent)
    : QDialog(parent), m_archive(archive) {
    setWindowTitle(tr("%1 - Quillmark archive").arg(QFileInfo(Q(archive)).fileName()));
    setObjectName(QStringLiteral("ArchiveWindow"));
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    m_model = new CArchiveEntryModel(this);
    m_sorted = new QSortFilterProxyModel(this);
    m_sorted->setSourceModel(m_model);
    m_sorted->setSortRole(CArchiveEntryModel::kSortRole);
    m_sorted->setSortCaseSensitivity(Qt::CaseInsensitive);
    m_view = new QTableView(this);
    m_view->setModel(m_sorted);
    m_view->setAccessibleName(tr("Archive entries"));
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setSortingEnabled(true);
    m_view->sortByColumn(CArchiveEntryModel::kName, Qt::AscendingOrder);
    m_view->verticalHeader()->hide();
    m_view->setWordWrap(false);
    m_view->horizontalHeader()->setSectionResizeMode(CArchiveEntryModel::kName, QHeaderView::Stretch);
    m_view->horizontalHeader()->setSectionResizeMode(CArchiveEntryModel::kSize,
                                                     QHeaderView::ResizeToContents);
    m_view->horizontalHeader()->setSectionResizeMode(CArchiveEntryModel::kModified,
                                                     QHeaderView::ResizeToContents);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setAlternatingRowColors(true);

    auto* commands = new QVBoxLayout;
    m_decryptSelected = new QPushButton(tr("Decrypt &selected"), this);
    m_decryptAll = new QPushButton(tr("Decrypt &all"), this);
    m_decryptRemove = new QPushButton(tr("Decrypt and &remove"), this);
    m_add = new QPushButton(tr("Add &files..."), this);
    m_delete = new QPushButton(tr("&Delete entries"), this);
    m_decryptSelected->setIcon(QIcon::fromTheme(QStringLiteral("document-decrypt")));
    m_add->setIcon(QIcon::fromTheme(QStringLiteral("list-add")));
    m_delete->setIcon(QIcon::fromTheme(QStringLiteral("edit-delete")));
    m_delete->setShortcut(QKeySequence::Delete);
    for (QPushButton* b : {m_decryptSelected, m_decryptAll, m_decryptRemove, m_add, m_delete}) {
        b->setAutoDefault(false);
        commands->addWidget(b);
    }
    commands->addStretch();
    auto* body = new QHBoxLayout;
    body->addWidget(m_view, 1);
    body->addLayout(commands);

    m_folder = new QLineEdit(this);
    auto* chooseFolder = MakeChooserButton(this, tr("Choose the output folder"));
    auto* folderRow = new QHBoxLayout;
    auto* folderLabel = new QLabel(tr("&Output folder:"), this);
    folderLabel->setBuddy(m_folder);
    folderRow->addWidget(folderLabel);
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(chooseFolder);
    m_folder->setText(QFileInfo(Q(archive)).absolutePath());

    m_bar = new QProgressBar(this);
    m_bar->setAccessibleName(tr("Progress"));
    m_bar->setValue(0);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_close = buttons->button(QDialogButtonBox::Close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(folderRow);
    layout->addWidget(m_bar);
    layout->addWidget(m_status);
    layout->addWidget(buttons);

    connect(chooseFolder, &QPushButton::clicked, this, [this] {
        uikit::FolderRequest request{"Quillmark", "Select output folder", m_folder->text().toStdString()};
        if (auto chosen = uikit::ChooseFolder(request))
            m_folder->setText(Q(*chosen));
    });
    connect(m_decryptSelected, &QPushButton::clicked, this, [this] { DecryptEntries(Extract::Selected); });
    connect(m_decryptAll, &QPushButton::clicked, this, [this] { DecryptEntries(Extract::All); });
    connect(m_decryptRemove, &QPushButton::clicked, this, [this] { DecryptEntries(Extract::AndRemove); });
    connect(m_add, &QPushButton::clicked, this, [this] { AddFiles(); });
    connect(m_delete, &QPushButton::clicked, this, [this] { DeleteSelected(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &CArchiveWindow::reject);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CArchiveWindow::UpdateButtons);
    connect(m_view, &QTableView::activated, this, [this] { DecryptEntries(Extract::Selected); });
    resize(720, 480);
    new misckit::CWindowMemory(this, QStringLiteral("Archive"));
    UpdateButtons();
}

CArchiveWindow::~CArchiveWindow() {
    std::fill(m_key.begin(), m_key.end(), '\0');
}

void CArchiveWindow::UpdateButtons() {
    const bool selected = m_view->selectionModel()->hasSelection();
    const bool any = m_model->rowCount() > 0;
    m_decryptSelected->setEnabled(!m_running && selected);
    m_decryptRemove->setEnabled(!m_running && selected);
    m_delete->setEnabled(!m_running && selected);
    m_decryptAll->setEnabled(!m_running && any);
    m_add->setEnabled(!m_running);
    m_folder->setEnabled(!m_running);
    m_close->setText(m_running ? tr("&Cancel") : tr("&Close"));
}

bool CArchiveWindow::Open() {
    std::string error;
    int code = 0;
    bool archive = false;
    if (!corecrypt::ReadEncryptedFileInfo(m_archive, m_keyFile, code, error, &archive) || !archive) {
        Say(error.empty() ? "\"" + m_archive + "\" is not a Quillmark archive." : error);
        return false;
    }
    while (true) {
        if (m_keyFile) {
            uikit::FileRequest request;
            request.title = "Choose the key file of " + QFileInfo(Q(m_archive)).fileName().toStdString();
            request.filter = "Quillmark key files (*.qmk)|*.qmk|All Files (*.*)|*.*||";
            request.initialPath = misckit::GetKeyFolder();
            request.flags = uikit::kFileMustExist | uikit::kPathMustExist;
            auto chosen = uikit::ChooseFiles(request);
            if (!chosen || chosen->empty())
                return false;
            m_key = chosen->front();
        } else {
            uikit::TextRequest request;
            request.prompt =
                "Enter the password of " + QFileInfo(Q(m_archive)).fileName().toStdString() + ":";
            request.caption = "Quillmark: Enter Passphrase";
            request.hidden = true;
            auto password = uikit::AskText(request);
            if (!password)
                return false;
            m_key = *password;
            std::fill(password->begin(), password->end(), '\0');
        }
        try {
            std::vector<corecrypt::ArchiveEntry> entries;
            if (!corecrypt::ListArchive(m_archive, m_key, m_keyFile, entries, error)) {
                Say(error);
                return false;
            }
            m_model->SetEntries(std::move(entries));
            m_status->setText(
                tr("%1 entries, %2").arg(m_model->rowCount()).arg(SizeText(m_model->TotalSize())));
            UpdateButtons();
            return true;
        } catch (const CUIException& e) {
            if (e.GetCode() != corecrypt::kArchiveWrongKey &&
                e.GetCode() != corecrypt::kArchivePasswordNeeded) {
                Say(e.GetReportText());
                return false;
            }
            Say(m_keyFile ? "This key file does not open the archive. Please choose another."
                          : "The password is wrong. Please try again.",
                uikit::Icon::Information);
        }
    }
}

bool CArchiveWindow::Reload() {
    std::string error;
    try {
        std::vector<corecrypt::ArchiveEntry> entries;
        if (!corecrypt::ListArchive(m_archive, m_key, m_keyFile, entries, error)) {
            Say(error);
            return false;
        }
        m_model->SetEntries(std::move(entries));
    } catch (const CUIException& e) {
        Say(e.GetReportText());
        return false;
    }
    m_status->setText(tr("%1 entries, %2").arg(m_model->rowCount()).arg(SizeText(m_model->TotalSize())));
    UpdateButtons();
    return true;
}

std::vector<std::string> CArchiveWindow::SelectedPaths() const {
    QModelIndexList rows;
    for (const QModelIndex& row : m_view->selectionModel()->selectedRows())
        rows << m_sorted->mapToSource(row);
    return m_model->PathsOf(rows);
}

void CArchiveWindow::reject() {
    if (m_running) {
        if (m_continue)
            *m_continue = 0;
        return;
    }
    QDialog::reject();
}

bool CArchiveWindow::OutputFolder(std::string& folder) {
    folder = m_folder->text().trimmed().toStdString();
    if (folder.empty() || folder.front() != '/' || !IsFolder(folder)) {
        Say("Please enter an existing output folder.", uikit::Icon::Information);
        m_folder->setFocus();
        return false;
    }
    return true;
}

bool CArchiveWindow::Run(const QString& phase, int total,
                         const std::function<bool(CALLBACKSTRUCT_&, std::string&)>& work) {
    CALLBACKSTRUCT_ record;
    uikit::BarProgress bar(m_bar);
    bar.setRange(0, total);
    record.pfnCallBack = &Pump;
    record.hWndProgress = &bar;
    record.hWndUpdateProgress = &bar;
    record.csPhase = phase.toStdString();
    m_running = true;
    m_continue = record.pbContinue;
    m_status->setText(phase);
    UpdateButtons();
    std::string error;
    bool ok = false;
    try {
        ok = work(record, error);
        if (!ok)
            Say(error.empty() ? "The operation failed." : error);
    } catch (const CUIException& e) {
        Say(e.GetCode() == corecrypt::kArchiveNoEntriesLeft
                ? "An archive keeps at least one entry. To empty it, delete the archive file itself."
                : e.GetReportText());
    }
    m_continue = nullptr;
    m_running = false;
    UpdateButtons();
    m_status->setText(ok ? tr("Done.") : tr("Stopped."));
    return ok;
}

bool CArchiveWindow::DecryptEntries(Extract what) {
    std::vector<std::string> names = what == Extract::All ? std::vector<std::string>() : SelectedPaths();
    if (what == Extract::All)
        for (const auto& e : m_model->Entries())
            names.push_back(e.path);
    if (m_running || names.empty())
        return false;
    std::string folder;
    if (!OutputFolder(folder))
        return false;
    std::vector<std::string> refused;
    const int check = misckit::CheckExtraction(folder, names, false, &refused);
    if (!refused.empty())
        uikit::ShowList("These entries are not extracted:", refused);
    if (check == misckit::kExtractNothing || names.empty())
        return false;
    corecrypt::ArchiveExtractOptions options;
    options.overwrite = check == misckit::kExtractReplacing;
    options.restoreTimes = CQMRegistry().GetRestoreTime();
    options.removeExtracted = what == Extract::AndRemove;
    const bool ok = Run(tr("Decrypting..."), static_cast<int>(names.size()),
                        [&](CALLBACKSTRUCT_& record, std::string& error) {
                            options.progress = &record;
                            std::vector<std::string> written;
                            const bool done = corecrypt::ExtractArchive(m_archive, names, folder, m_key,
                                                                        m_keyFile, options, &written, error);
                            m_written.insert(m_written.end(), written.begin(), written.end());
                            return done;
                        });
    if (what == Extract::AndRemove)
        Reload();
    return ok;
}

bool CArchiveWindow::AddFiles() {
    if (m_running)
        return false;
    uikit::FileRequest request;
    request.title = "Add Files to Archive";
    request.filter = "All Files (*.*)|*.*||";
    request.flags = uikit::kFileMustExist | uikit::kMultiSelect;
    auto files = uikit::ChooseFiles(request);
    if (!files || files->empty())
        return false;
    const CQMRegistry settings;
    corecrypt::ArchiveAddOptions options;
    options.overwrite = settings.GetInOverwrite();
    options.compress = settings.GetCompress();
    options.extensionsNotCompressed = settings.GetExtsNotCompress();
    options.recurse = settings.GetRecDirs();
    const bool ok =
        Run(tr("Adding files..."), static_cast<int>(files->size()),
            [&](CALLBACKSTRUCT_& record, std::string& error) {
                options.progress = &record;
                return corecrypt::AddToArchive(m_archive, *files, m_key, m_keyFile, options, error);
            });
    Reload();
    return ok;
}

bool CArchiveWindow::DeleteSelected() {
    const std::vector<std::string> names = SelectedPaths();
    if (m_running || names.empty())
        return false;
    if (uikit::MessageBox("Delete " + std::to_string(names.size()) + " entr" +
                              (names.size() == 1 ? "y" : "ies") + " from the archive? This cannot be undone.",
                          "Quillmark", uikit::Buttons::YesNo, uikit::Icon::Question) != uikit::Answer::Yes)
        return false;
    const bool ok =
        Run(tr("Deleting entries..."), static_cast<int>(m_model->rowCount()),
            [&](CALLBACKSTRUCT_& record, std::string& error) {
                return corecrypt::DeleteFromArchive(m_archive, names, m_key, m_keyFile, &record, error);
            });
    Reload();
    return ok;
}

} // namespace shellkit
