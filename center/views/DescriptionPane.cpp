#include "center/views/DescriptionPane.h"

#include "center/core/ColumnSets.h"
#include "center/views/ListRoles.h"
#include "center/windows/PassphraseWindow.h"
#include "corecrypt/Archive.h"
#include "corecrypt/EncryptedFile.h"
#include "corecrypt/QMException.h"
#include "uikit/Ui.h"

#include <QHeaderView>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>

#include <algorithm>
#include <filesystem>

namespace center {

CKeyManDesc::CKeyManDesc(QWidget* parent)
    : QTreeView(parent), m_entries(new shellkit::CArchiveEntryModel(this)),
      m_sorted(new QSortFilterProxyModel(this)), m_log(new QStandardItemModel(this)),
      m_nothing(new QStandardItemModel(this)), m_props(new QStandardItemModel(this)) {
    setObjectName(QStringLiteral("DescriptionPane"));
    setAccessibleName(tr("Description"));
    m_sorted->setSourceModel(m_entries);
    m_sorted->setSortRole(shellkit::CArchiveEntryModel::kSortRole);
    m_sorted->setSortCaseSensitivity(Qt::CaseInsensitive);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(true);
    UseEntries();
}

CKeyManDesc::~CKeyManDesc() {
    std::fill(m_password.begin(), m_password.end(), '\0');
}

void CKeyManDesc::UseEntries() {
    if (model() == m_sorted)
        return;
    SaveColumns();
    m_layout = Layout::Entries;
    setModel(m_sorted);
    header()->show();
    sortByColumn(-1, Qt::AscendingOrder);
    const ColumnSet& set = DescriptionColumns(kNavAllFiles);
    const std::vector<int> widths = ReadColumnWidths(set.valueName, set.columns);
    for (int c = 0; c < shellkit::CArchiveEntryModel::kColumnCount; ++c)
        setColumnWidth(c, widths[static_cast<std::size_t>(c)]);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &CKeyManDesc::selectionMoved);
}

void CKeyManDesc::SaveColumns() const {
    if (m_layout == Layout::Properties) {
        if (header()->count() == 2)
            SaveColumnWidths(DescriptionColumns(kNavSchedule).valueName, {columnWidth(0), columnWidth(1)});
        return;
    }
    if (m_layout != Layout::Entries && m_layout != Layout::KeyFileUsers)
        return;
    const ColumnSet& set = DescriptionColumns(m_layout == Layout::Entries ? kNavAllFiles : kNavSecretKeys);
    const int columns = m_layout == Layout::Entries
                            ? static_cast<int>(shellkit::CArchiveEntryModel::kColumnCount)
                            : static_cast<int>(set.columns.size());
    if (!model() || header()->count() != columns)
        return;
    std::vector<int> widths;
    for (int c = 0; c < columns; ++c)
        widths.push_back(columnWidth(c));
    SaveColumnWidths(set.valueName, widths);
}

void CKeyManDesc::UseKind(NavKind kind) {
    m_kind = kind;
    switch (kind) {
    case kNavSecretKeys:
        UseKeyFileUsers(nullptr);
        break;
    case kNavPublicKeys:
    case kNavPrivateKeys:
        if (m_layout != Layout::Nothing) {
            SaveColumns();
            m_layout = Layout::Nothing;
            m_nothing->clear();
            setModel(m_nothing);
            header()->hide();
        }
        break;
    default:
        UseEntries();
        break;
    }
}

void CKeyManDesc::ShowKeyFileUsers(QAbstractItemModel* files) {
    UseKeyFileUsers(files);
}

void CKeyManDesc::UseKeyFileUsers(QAbstractItemModel* files) {
    const ColumnSet& set = DescriptionColumns(kNavSecretKeys);
    if (m_layout != Layout::KeyFileUsers)
        SaveColumns();
    const bool wasShown = m_layout == Layout::KeyFileUsers;
    m_layout = Layout::KeyFileUsers;
    if (!files) {
        // The headers of the key file's description, before a key file is activated.
        m_nothing->clear();
        m_nothing->setColumnCount(static_cast<int>(set.columns.size()));
        for (std::size_t c = 0; c < set.columns.size(); ++c)
            m_nothing->setHeaderData(static_cast<int>(c), Qt::Horizontal,
                                     QString::fromLatin1(set.columns[c].title));
        files = m_nothing;
    }
    std::vector<int> widths;
    // The model shown may have gone with the store's next one: then its widths went too.
    if (wasShown && header()->count() == static_cast<int>(set.columns.size()))
        for (std::size_t c = 0; c < set.columns.size(); ++c)
            widths.push_back(columnWidth(static_cast<int>(c)));
    setModel(files);
    header()->show();
    // The delete command follows the selection of these files.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &CKeyManDesc::selectionMoved);
    if (widths.empty())
        widths = ReadColumnWidths(set.valueName, set.columns);
    for (std::size_t c = 0; c < widths.size(); ++c)
        setColumnWidth(static_cast<int>(c), widths[c]);
}

void CKeyManDesc::Reset() {
    std::fill(m_password.begin(), m_password.end(), '\0');
    m_password.clear();
    m_archive.clear();
    m_keyFile.clear();
    m_keyIsFile = false;
    m_entries->SetEntries({});
    UseKind(m_kind);
}

bool CKeyManDesc::ShowArchive(const std::string& archive, const std::string& keyFile) {
    const bool same = archive == m_archive;
    m_entries->SetEntries({});
    UseEntries();
    if (!same) {
        std::fill(m_password.begin(), m_password.end(), '\0');
        m_password.clear();
    }
    m_archive = archive;
    m_keyFile = keyFile;
    bool needsKeyFile = false;
    int mode = 0;
    std::string error;
    if (!corecrypt::ReadEncryptedFileInfo(archive, needsKeyFile, mode, error)) {
        uikit::MessageBox(error, "Error", uikit::Buttons::OK, uikit::Icon::Error);
        return false;
    }
    m_keyIsFile = needsKeyFile;
    std::error_code ec;
    if (needsKeyFile && (keyFile.empty() || !std::filesystem::exists(keyFile, ec))) {
        uikit::MessageBox("File is encrypted with key, but the key file is not found.", "Quillmark",
                          uikit::Buttons::OK, uikit::Icon::Information);
        return false;
    }
    return Reload();
}

bool CKeyManDesc::Reload() {
    uikit::WaitCursor wait;
    bool asked = false;
    while (true) {
        std::vector<corecrypt::ArchiveEntry> entries;
        std::string error;
        try {
            if (!corecrypt::ListArchive(m_archive, Key(), m_keyIsFile, entries, error)) {
                uikit::MessageBox(error, "Error", uikit::Buttons::OK, uikit::Icon::Error);
                return false;
            }
            m_entries->SetEntries(std::move(entries));
            return true;
        } catch (const CUIException& e) {
            const bool passwordQuestion = e.GetCode() == corecrypt::kArchivePasswordNeeded ||
                                          e.GetCode() == corecrypt::kArchiveWrongKey;
            if (!passwordQuestion || m_keyIsFile || asked) {
                e.ReportError("Quillmark");
                return false;
            }
            asked = true;
            CDlgDPass dialog;
            if (!dialog.DoModal())
                return false;
            m_password = std::move(dialog.m_strPass);
        }
    }
}

void CKeyManDesc::ShowLog(const std::vector<std::string>& lines) {
    m_log->clear();
    for (const std::string& line : lines)
        m_log->appendRow(new QStandardItem(QString::fromStdString(line)));
    SaveColumns();
    m_layout = Layout::Log;
    setModel(m_log);
    header()->hide();
    setColumnWidth(0, 800);
    scrollToBottom();
}

void CKeyManDesc::AddLogLine(const std::string& line) {
    if (m_layout != Layout::Log)
        ShowLog({});
    m_log->appendRow(new QStandardItem(QString::fromStdString(line)));
    scrollToBottom();
}

void CKeyManDesc::ShowProperties(const std::vector<std::pair<std::string, std::string>>& rows) {
    const bool wasShown = m_layout == Layout::Properties;
    if (!wasShown)
        SaveColumns();
    std::vector<int> widths;
    if (wasShown && header()->count() == 2)
        widths = {columnWidth(0), columnWidth(1)};
    m_props->clear();
    m_props->setHorizontalHeaderLabels({tr("Property"), tr("Value")});
    for (const auto& [name, value] : rows)
        m_props->appendRow({new QStandardItem(QString::fromStdString(name)),
                            new QStandardItem(QString::fromStdString(value))});
    m_layout = Layout::Properties;
    setModel(m_props);
    header()->show();
    if (widths.empty()) {
        const ColumnSet& set = DescriptionColumns(kNavSchedule);
        widths = ReadColumnWidths(set.valueName, set.columns);
    }
    for (std::size_t c = 0; c < widths.size() && c < 2; ++c)
        setColumnWidth(static_cast<int>(c), widths[c]);
}

std::vector<std::string> CKeyManDesc::SelectedEntries() const {
    if (model() != m_sorted)
        return {};
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QModelIndexList source;
    for (const QModelIndex& row : rows)
        source << m_sorted->mapToSource(row);
    return m_entries->PathsOf(source);
}

std::vector<std::string> CKeyManDesc::AllEntries() const {
    std::vector<std::string> names;
    for (const auto& e : m_entries->Entries())
        names.push_back(e.path);
    return names;
}

bool CKeyManDesc::HasSelection() const {
    return (model() == m_sorted || ShowsKeyFileUsers()) && selectionModel()->hasSelection();
}

std::vector<std::string> CKeyManDesc::SelectedKeyFileUsers() const {
    if (!ShowsKeyFileUsers())
        return {};
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<std::string> paths;
    for (const QModelIndex& row : rows)
        if (const QString path = row.data(kPathRole).toString(); !path.isEmpty())
            paths.push_back(path.toStdString());
    return paths;
}

void CKeyManDesc::focusInEvent(QFocusEvent* event) {
    QTreeView::focusInEvent(event);
    emit focusEntered();
}

} // namespace center
