#include "center/core/ListRows.h"

#include "center/core/CenterState.h"
#include "center/core/KeyManager.h"
#include "center/core/KeyRecords.h"
#include "corecrypt/AsymmKey.h"
#include "platform/Clock.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"
#include "tasks/model/FileAction.h"
#include "tasks/model/Tables.h"
#include "tasks/schedlink/TaskSched.h"
#include "uikit/ShellInfo.h"

#include <QString>

#include <ctime>
#include <strings.h>
#include <sys/stat.h>

namespace center {
namespace {

template <class T>
int Three(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int NoCase(const std::string& a, const std::string& b) {
    const int order = ::strcasecmp(a.c_str(), b.c_str());
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

// Names and addresses of keys: without regard to case, in the user's language.
int LocaleNoCase(const std::string& a, const std::string& b) {
    return QString::localeAwareCompare(QString::fromUtf8(a).toCaseFolded(),
                                       QString::fromUtf8(b).toCaseFolded());
}

int PathOrder(const std::string& a, const std::string& b) {
    const FileKeyLess less;
    return less(a, b) ? -1 : (less(b, a) ? 1 : 0);
}

// Equal after ASCII lower-casing: the paths sit together in path order.
bool SameWithoutCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The desktop's display name of a file: its name, or nothing once the file is gone.
std::string DisplayName(const KMInfo& record) {
    return Exists(record.GetPath()) ? record.GetName() : std::string();
}

std::string Signed(std::uint32_t value) {
    return std::to_string(static_cast<std::int32_t>(value));
}

SortKey Number(std::int64_t value) {
    return {false, value, {}};
}

SortKey Text(std::string text) {
    return {true, 0, std::move(text)};
}

std::string Title(int column, std::initializer_list<const char*> titles) {
    return column >= 0 && static_cast<std::size_t>(column) < titles.size() ? titles.begin()[column] : "";
}

} // namespace

std::string GroupedSize(std::uint64_t size) {
    const std::string digits = std::to_string(size);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out.push_back(' ');
        out.push_back(digits[i]);
    }
    return out;
}

std::string DateText(std::int64_t time, std::size_t maxLength) {
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm local{};
    if (!::localtime_r(&t, &local))
        return {};
    char text[128];
    const std::size_t n = std::strftime(text, sizeof text, "%c", &local);
    return std::string(text, std::min(n, maxLength));
}

CListRows::~CListRows() = default;

RowIcon CListRows::Icon(int) const {
    return {};
}

SortKey CListRows::Key(int row, int column) const {
    return Text(CellText(row, column));
}

std::string CListRows::FilterText(int row) const {
    return CellText(row, 0);
}

bool CListRows::ClickColumn(int column) {
    const bool ascending = m_bNextAscending;
    m_bNextAscending = !m_bNextAscending;
    Sort(column, ascending);
    return ascending;
}

// Kind 0 ---------------------------------------------------------------------------------------

std::string CKeyFileRows::ColumnTitle(int column) const {
    return Title(column, {"Name", "Used", "Size(64)", "Size(128)"});
}

void CKeyFileRows::Fill() {
    m_vRows.clear();
    for (const auto& entry : m_store.GetKeyFiles())
        m_vRows.push_back(entry.first);
}

std::string CKeyFileRows::CellText(int row, int column) const {
    const KMKeyInfo* key = Valid(row) ? m_store.FindKeyFile(RowRef(row)) : nullptr;
    if (!key)
        return {};
    switch (column) {
    case 0:
        return DisplayName(*key);
    case 1:
        return Signed(key->m_nUsed);
    case 2:
        return Signed(key->m_nSize64);
    case 3:
        return Signed(key->m_nSize128);
    default:
        return {};
    }
}

RowIcon CKeyFileRows::Icon(int row) const {
    RowIcon icon;
    if (Valid(row) && m_store.FindKeyFile(RowRef(row)))
        icon.csFilePath = RowRef(row);
    return icon;
}

SortKey CKeyFileRows::Key(int row, int column) const {
    const KMKeyInfo* key = Valid(row) ? m_store.FindKeyFile(RowRef(row)) : nullptr;
    if (!key)
        return {};
    switch (column) {
    case 0:
        return Text(key->GetName());
    case 1:
        return Number(key->m_nUsed);
    case 2:
        return Number(static_cast<std::int32_t>(key->m_nSize64));
    case 3:
        return Number(static_cast<std::int32_t>(key->m_nSize128));
    default:
        return {};
    }
}

std::string CKeyFileRows::FilterText(int row) const {
    return Valid(row) ? RowRef(row) : std::string();
}

std::string CKeyFileRows::RowPath(int row) const {
    return Valid(row) && m_store.FindKeyFile(RowRef(row)) ? RowRef(row) : std::string();
}

int CKeyFileRows::Compare(const std::string& a, const std::string& b, int column) const {
    const KMKeyInfo* x = m_store.FindKeyFile(a);
    const KMKeyInfo* y = m_store.FindKeyFile(b);
    if (!x || !y)
        return Three(x != nullptr, y != nullptr);
    switch (column) {
    case 0:
        return NoCase(x->GetName(), y->GetName());
    case 1:
        return Three(x->m_nUsed, y->m_nUsed);
    case 2:
        return Three(static_cast<std::int32_t>(x->m_nSize64), static_cast<std::int32_t>(y->m_nSize64));
    case 3:
        return Three(static_cast<std::int32_t>(x->m_nSize128), static_cast<std::int32_t>(y->m_nSize128));
    default:
        return 0;
    }
}

// Kinds 1 and 2 --------------------------------------------------------------------------------

std::string CAsymmKeyRows::ColumnTitle(int column) const {
    if (m_bPrivate && column == 5)
        return {};
    return Title(column, {"Name", "Email", "Created", "Expires", "Size", "Synchronized"});
}

void CAsymmKeyRows::Fill() {
    m_vRows.clear();
    if (m_bPrivate)
        for (const auto& entry : m_store.GetPrivKeys())
            m_vRows.push_back(entry.first);
    else
        for (const auto& entry : m_store.GetPubKeys())
            m_vRows.push_back(entry.first);
}

const CAsymmKey* CAsymmKeyRows::KeyAt(std::uint32_t position) const {
    if (m_bPrivate) {
        const auto it = m_store.GetPrivKeys().find(position);
        return it == m_store.GetPrivKeys().end() ? nullptr : it->second.get();
    }
    const auto it = m_store.GetPubKeys().find(position);
    return it == m_store.GetPubKeys().end() ? nullptr : it->second.get();
}

std::string SynchronizedText(const CAsymmKey& key) {
    if (key.m_bRevoked)
        return "Revoked";
    // Status 4 is what loading gives an expired key; it reads "Expired" like the indicator.
    if (key.m_bExpired || key.m_nStatus == corecrypt::kStatusExpired)
        return "Expired";
    switch (key.m_nStatus) {
    case corecrypt::kStatusNotSynchronized:
        return "Not synchronized";
    case corecrypt::kStatusNotOnServer:
        return "Not on server";
    case corecrypt::kStatusSynchronized:
        return "Synchronized";
    case corecrypt::kStatusOwn:
        return "Own";
    default:
        return "?";
    }
}

std::string CAsymmKeyRows::CellText(int row, int column) const {
    const CAsymmKey* key = Valid(row) ? KeyAt(RowRef(row)) : nullptr;
    if (!key)
        return {};
    switch (column) {
    case 0:
        return key->GetUserNameA();
    case 1:
        return key->GetEmail();
    case 2:
        return DateText(key->GetCreationTime());
    case 3:
        return key->GetExpireTime() == 0 ? "Not set" : DateText(key->GetExpireTime());
    case 4:
        return std::to_string(key->m_nSize);
    case 5:
        return m_bPrivate ? std::string() : SynchronizedText(*key);
    default:
        return {};
    }
}

RowIcon CAsymmKeyRows::Icon(int row) const {
    RowIcon icon;
    const CAsymmKey* key = Valid(row) ? KeyAt(RowRef(row)) : nullptr;
    if (!key || m_bPrivate)
        return icon;
    if (key->m_bRevoked)
        icon.nImage = 2;
    else if (key->m_nStatus == corecrypt::kStatusOwn)
        icon.nImage = 1;
    else if (key->m_nStatus == corecrypt::kStatusExpired)
        icon.nImage = 3;
    else
        icon.nImage = 0;
    return icon;
}

SortKey CAsymmKeyRows::Key(int row, int column) const {
    const CAsymmKey* key = Valid(row) ? KeyAt(RowRef(row)) : nullptr;
    if (!key)
        return {};
    switch (column) {
    case 0:
        return Text(key->GetUserNameA());
    case 1:
        return Text(key->GetEmail());
    case 2:
        return Number(static_cast<std::uint32_t>(key->GetCreationTime()));
    case 3:
        return Number(static_cast<std::uint32_t>(key->GetExpireTime()));
    case 4:
        return Number(key->m_nSize);
    case 5:
        return m_bPrivate ? SortKey{} : Number(key->m_nStatus);
    default:
        return {};
    }
}

std::string CAsymmKeyRows::FilterText(int row) const {
    const CAsymmKey* key = Valid(row) ? KeyAt(RowRef(row)) : nullptr;
    return key ? std::string(key->GetUserNameA()) + "\n" + key->GetEmail() : std::string();
}

std::string CAsymmKeyRows::KeyText(int row) const {
    const CAsymmKey* key = Valid(row) ? KeyAt(RowRef(row)) : nullptr;
    return key ? std::string(key->GetEnvelop()) : std::string();
}

int CAsymmKeyRows::Compare(const std::uint32_t& a, const std::uint32_t& b, int column) const {
    const CAsymmKey* x = KeyAt(a);
    const CAsymmKey* y = KeyAt(b);
    if (!x || !y)
        return Three(x != nullptr, y != nullptr);
    switch (column) {
    case 0:
        return LocaleNoCase(x->GetUserNameA(), y->GetUserNameA());
    case 1:
        return LocaleNoCase(x->GetEmail(), y->GetEmail());
    case 2:
        return Three(x->GetCreationTime(), y->GetCreationTime());
    case 3:
        return Three(x->GetExpireTime(), y->GetExpireTime());
    case 4:
        return Three(x->m_nSize, y->m_nSize);
    case 5:
        return m_bPrivate ? 0 : Three(x->m_nStatus, y->m_nStatus);
    default:
        return 0;
    }
}

// Kinds 3 and 4 --------------------------------------------------------------------------------

CEncryptedFileRows::CEncryptedFileRows(const CKeyManager& store, std::string folder)
    : m_store(store), m_csFolder(std::move(folder)) {
    if (!m_csFolder.empty() && m_csFolder.back() != '/')
        m_csFolder += '/';
}

std::string CEncryptedFileRows::ColumnTitle(int column) const {
    if (column == 6 && !m_csFolder.empty())
        return {};
    return Title(column, {"Name", "Size", "Type", "Key File", "Algorithm", "Mode", "Path"});
}

void CEncryptedFileRows::Fill() {
    m_vRows.clear();
    const auto& files = m_store.GetEncryptedFiles();
    if (m_csFolder.empty()) {
        m_vRows.reserve(files.size());
        for (const auto& entry : files)
            m_vRows.push_back(entry.first);
        return;
    }
    // A folder's files sit together in path order, though files of folders that differ only in
    // case sit among them: the folder is compared exactly.
    for (auto it = files.lower_bound(m_csFolder); it != files.end(); ++it) {
        const std::string& path = it->first;
        if (path.size() < m_csFolder.size() ||
            !SameWithoutCase(std::string_view(path).substr(0, m_csFolder.size()), m_csFolder))
            break;
        if (path.compare(0, m_csFolder.size(), m_csFolder) == 0 &&
            path.find('/', m_csFolder.size()) == std::string::npos)
            m_vRows.push_back(path);
    }
}

std::string CEncryptedFileRows::CellText(int row, int column) const {
    const KMFileInfo* file = Valid(row) ? m_store.FindEncryptedFile(RowRef(row)) : nullptr;
    if (!file)
        return {};
    switch (column) {
    case 0:
        return DisplayName(*file);
    case 1:
        return GroupedSize(file->m_nSize);
    case 2:
        return file->m_bKeyFile ? "Key" : "Pass";
    case 3: {
        if (!file->m_bKeyFile)
            return {};
        if (file->m_csKeyFilePath.empty())
            return "Key not found";
        const std::string& key = file->m_csKeyFilePath;
        const auto slash = key.find_last_of('/');
        std::string name = slash == std::string::npos ? key : key.substr(slash + 1);
        const auto dot = name.find_last_of('.');
        return dot == std::string::npos ? name : name.substr(0, dot);
    }
    case 4:
        return file->m_csAlgorithm;
    case 5:
        return file->m_csMode;
    case 6: {
        if (!m_csFolder.empty())
            return {};
        const auto slash = file->GetPath().find_last_of('/');
        return slash == std::string::npos ? std::string() : file->GetPath().substr(0, slash + 1);
    }
    default:
        return {};
    }
}

RowIcon CEncryptedFileRows::Icon(int row) const {
    RowIcon icon;
    if (Valid(row) && m_store.FindEncryptedFile(RowRef(row)))
        icon.csFilePath = RowRef(row);
    return icon;
}

bool CEncryptedFileRows::FileGone(int row) const {
    return m_csFolder.empty() && Valid(row) && !Exists(RowRef(row));
}

SortKey CEncryptedFileRows::Key(int row, int column) const {
    const KMFileInfo* file = Valid(row) ? m_store.FindEncryptedFile(RowRef(row)) : nullptr;
    if (!file)
        return {};
    switch (column) {
    case 0:
        return Text(file->GetName());
    case 1:
        return Number(static_cast<std::int64_t>(file->m_nSize));
    case 2:
        return Number(file->m_bKeyFile);
    case 3:
        return Text(file->m_csKeyFilePath);
    case 4:
        return Text(file->m_csAlgorithm);
    case 5:
        return Text(file->m_csMode);
    case 6:
        return m_csFolder.empty() ? Text(file->GetPath()) : SortKey{};
    default:
        return {};
    }
}

std::string CEncryptedFileRows::FilterText(int row) const {
    return Valid(row) ? RowRef(row) : std::string();
}

std::string CEncryptedFileRows::RowPath(int row) const {
    return Valid(row) && m_store.FindEncryptedFile(RowRef(row)) ? RowRef(row) : std::string();
}

std::string CEncryptedFileRows::KeyFilePath(int row) const {
    const KMFileInfo* file = Valid(row) ? m_store.FindEncryptedFile(RowRef(row)) : nullptr;
    return file && file->m_bKeyFile ? file->m_csKeyFilePath : std::string();
}

bool CEncryptedFileRows::NeedsKeyFile(int row) const {
    const KMFileInfo* file = Valid(row) ? m_store.FindEncryptedFile(RowRef(row)) : nullptr;
    return file && file->m_bKeyFile;
}

void CEncryptedFileRows::Sort(int column, bool ascending) {
    // Every comparison would look both paths up in the store: look each row up once instead.
    std::vector<const KMFileInfo*> records;
    records.reserve(m_vRows.size());
    for (const std::string& path : m_vRows)
        records.push_back(m_store.FindEncryptedFile(path));
    std::vector<int> order(m_vRows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int sign =
            CompareFiles(records[static_cast<std::size_t>(a)], records[static_cast<std::size_t>(b)], column);
        return ascending ? sign < 0 : sign > 0;
    });
    Arrange(m_vRows, std::move(order));
}

int CEncryptedFileRows::Compare(const std::string& a, const std::string& b, int column) const {
    return CompareFiles(m_store.FindEncryptedFile(a), m_store.FindEncryptedFile(b), column);
}

int CEncryptedFileRows::CompareFiles(const KMFileInfo* x, const KMFileInfo* y, int column) {
    if (!x || !y)
        return Three(x != nullptr, y != nullptr);
    switch (column) {
    case 0:
        return NoCase(x->GetName(), y->GetName());
    case 1:
        return Three(x->m_nSize, y->m_nSize);
    case 2:
        return Three(x->m_bKeyFile, y->m_bKeyFile);
    case 3:
        return NoCase(x->m_csKeyFilePath, y->m_csKeyFilePath);
    case 4:
        return NoCase(x->m_csAlgorithm, y->m_csAlgorithm);
    case 5:
        return NoCase(x->m_csMode, y->m_csMode);
    case 6:
        return PathOrder(x->GetPath(), y->GetPath());
    default:
        return 0;
    }
}

// A key file's description ----------------------------------------------------------------------

std::string CKeyFileUserRows::ColumnTitle(int column) const {
    return Title(column, {"Name", "Size", "Type", "Algorithm", "Mode", "Path"});
}

void CKeyFileUserRows::Fill() {
    m_vRows.clear();
    const KMKeyInfo* key = m_store.FindKeyFile(m_csKeyFile);
    if (!key || key->m_sKeyId.empty())
        return;
    const auto [first, last] = m_store.GetKeyIdIndex().equal_range(key->m_sKeyId);
    for (auto it = first; it != last; ++it)
        if (!m_store.FindKeyFile(it->second) && m_store.FindEncryptedFile(it->second))
            m_vRows.push_back(it->second);
}

std::string CKeyFileUserRows::CellText(int row, int column) const {
    const KMFileInfo* file = Valid(row) ? m_store.FindEncryptedFile(RowRef(row)) : nullptr;
    if (!file)
        return {};
    switch (column) {
    case 0:
        return DisplayName(*file);
    case 1:
        return uikit::SizeToText(file->m_nSize);
    case 2:
        return file->m_bKeyFile ? "Key" : "Pass";
    case 3:
        return file->m_csAlgorithm;
    case 4:
        return file->m_csMode;
    case 5: {
        const auto slash = file->GetPath().find_last_of('/');
        return slash == std::string::npos ? std::string() : file->GetPath().substr(0, slash + 1);
    }
    default:
        return {};
    }
}

RowIcon CKeyFileUserRows::Icon(int row) const {
    RowIcon icon;
    if (Valid(row) && m_store.FindEncryptedFile(RowRef(row)))
        icon.csFilePath = RowRef(row);
    return icon;
}

SortKey CKeyFileUserRows::Key(int row, int column) const {
    const KMFileInfo* file = Valid(row) ? m_store.FindEncryptedFile(RowRef(row)) : nullptr;
    if (!file)
        return {};
    switch (column) {
    case 1:
        return Number(static_cast<std::int64_t>(file->m_nSize));
    case 2:
        return Number(file->m_bKeyFile);
    case 5:
        return Text(file->GetPath());
    default:
        return Text(CellText(row, column));
    }
}

std::string CKeyFileUserRows::FilterText(int row) const {
    return Valid(row) ? RowRef(row) : std::string();
}

std::string CKeyFileUserRows::RowPath(int row) const {
    return Valid(row) && m_store.FindEncryptedFile(RowRef(row)) ? RowRef(row) : std::string();
}

int CKeyFileUserRows::Compare(const std::string& a, const std::string& b, int column) const {
    const KMFileInfo* x = m_store.FindEncryptedFile(a);
    const KMFileInfo* y = m_store.FindEncryptedFile(b);
    if (!x || !y)
        return Three(x != nullptr, y != nullptr);
    switch (column) {
    case 0:
        return NoCase(x->GetName(), y->GetName());
    case 1:
        return Three(x->m_nSize, y->m_nSize);
    case 2:
        return Three(x->m_bKeyFile, y->m_bKeyFile);
    case 3:
        return NoCase(x->m_csAlgorithm, y->m_csAlgorithm);
    case 4:
        return NoCase(x->m_csMode, y->m_csMode);
    case 5:
        return NoCase(x->GetPath(), y->GetPath());
    default:
        return 0;
    }
}

// Kind 5 ---------------------------------------------------------------------------------------

std::string CTaskFileRows::ColumnTitle(int column) const {
    return Title(column, {"Name", "Size", "Type", "Date", "Folder", "Action"});
}

void CTaskFileRows::Fill() {
    m_vRows.clear();
    for (const auto& entry : m_tasks.m_mapFiles)
        m_vRows.push_back(entry.first);
}

std::string CTaskFileRows::CellText(int row, int column) const {
    if (!Valid(row))
        return {};
    const auto it = m_tasks.m_mapFiles.find(RowRef(row));
    if (it == m_tasks.m_mapFiles.end())
        return {};
    const ListedFile& file = it->second;
    switch (column) {
    case 0:
        return file.findData.name;
    case 1:
        return GroupedSize(static_cast<std::uint64_t>(std::max<std::int64_t>(file.findData.size, 0)));
    case 2:
        return file.typeName;
    case 3:
        return uikit::FileTimeToText(file.findData.writeTime, 1);
    case 4:
        return file.folder;
    case 5:
        return file.owner ? file.owner->GetActionName() : std::string();
    default:
        return {};
    }
}

RowIcon CTaskFileRows::Icon(int row) const {
    RowIcon icon;
    if (!Valid(row))
        return icon;
    const auto it = m_tasks.m_mapFiles.find(RowRef(row));
    if (it != m_tasks.m_mapFiles.end())
        icon.csFilePath = it->second.folder + it->second.findData.name;
    return icon;
}

SortKey CTaskFileRows::Key(int row, int column) const {
    const auto it = Valid(row) ? m_tasks.m_mapFiles.find(RowRef(row)) : m_tasks.m_mapFiles.end();
    if (it == m_tasks.m_mapFiles.end())
        return {};
    const ListedFile& file = it->second;
    switch (column) {
    case 1:
        return Number(file.findData.size);
    case 3:
        return Number(file.findData.writeTime);
    default:
        return Text(CellText(row, column));
    }
}

std::string CTaskFileRows::FilterText(int row) const {
    return RowPath(row);
}

std::string CTaskFileRows::RowPath(int row) const {
    const auto it = Valid(row) ? m_tasks.m_mapFiles.find(RowRef(row)) : m_tasks.m_mapFiles.end();
    return it == m_tasks.m_mapFiles.end() ? std::string() : it->second.folder + it->second.findData.name;
}

int CTaskFileRows::Compare(const std::string& a, const std::string& b, int column) const {
    const auto x = m_tasks.m_mapFiles.find(a);
    const auto y = m_tasks.m_mapFiles.find(b);
    const auto end = m_tasks.m_mapFiles.end();
    if (x == end || y == end)
        return Three(x != end, y != end);
    const ListedFile& p = x->second;
    const ListedFile& q = y->second;
    switch (column) {
    case 0:
        return NoCase(p.findData.name, q.findData.name);
    case 1:
        return Three(p.findData.size, q.findData.size);
    case 2:
        return NoCase(p.typeName, q.typeName);
    case 3:
        return Three(p.findData.writeTime, q.findData.writeTime);
    case 4:
        return NoCase(p.folder, q.folder);
    case 5:
        return NoCase(p.owner ? p.owner->GetActionName() : std::string(),
                      q.owner ? q.owner->GetActionName() : std::string());
    default:
        return 0;
    }
}

// Kind 6 ---------------------------------------------------------------------------------------

std::string CScheduleRows::ColumnTitle(int column) const {
    return Title(column, {"Name", "Schedule", "Start Time", "End Time", "Next Run", "Last Run"});
}

void CScheduleRows::Fill() {
    m_vRows.clear();
    for (const auto* list : {&m_schedule.m_lstDelete, &m_schedule.m_lstEncrypt, &m_schedule.m_lstSendMail})
        for (const CAction* task : *list) {
            if (!task)
                continue;
            const bool inFrame = task->m_nTimeFrame >= 0 && task->m_nTimeFrame < 7 &&
                                 m_csFrame == timeframe[task->m_nTimeFrame];
            if (m_csFrame.empty() || m_csFrame == "All" || inFrame)
                m_vRows.push_back(task->m_nId);
        }
}

std::string CScheduleRows::NextRunText(std::int32_t id) const {
    CAction* task = m_schedule.GetTaskById(static_cast<unsigned>(id));
    const std::int64_t now = platform::Now();
    if (!task)
        return {};
    if (task->m_tNextRun > now)
        return DateText(task->m_tNextRun, 30);
    const bool changed = m_fnScheduleChanged ? m_fnScheduleChanged() : tasksched::GetScheduleChanged() != 0;
    if (changed && m_fnReloadSchedule) {
        m_fnReloadSchedule();
        task = m_schedule.GetTaskById(static_cast<unsigned>(id));
        if (!task)
            return {};
    }
    return task->GetNextRun() > now ? DateText(task->m_tNextRun, 30) : "-";
}

std::string CScheduleRows::CellText(int row, int column) const {
    CAction* task = Valid(row) ? m_schedule.GetTaskById(static_cast<unsigned>(RowRef(row))) : nullptr;
    if (!task)
        return {};
    switch (column) {
    case 0:
        return task->m_csName;
    case 1: {
        std::string text;
        task->GetShortSchedString(text);
        return text;
    }
    case 2:
        return DateText(task->m_tStart, 30);
    case 3:
        return task->m_bHasEnd ? DateText(task->m_tEnd, 30) : "-";
    case 4:
        return NextRunText(RowRef(row));
    case 5:
        return task->m_tLastRun > 0 ? DateText(task->m_tLastRun, 30) : "-";
    default:
        return {};
    }
}

RowIcon CScheduleRows::Icon(int row) const {
    RowIcon icon;
    const CAction* task = Valid(row) ? m_schedule.GetTaskById(static_cast<unsigned>(RowRef(row))) : nullptr;
    if (const auto* encrypt = dynamic_cast<const CActionEncryptFile*>(task))
        icon.nImage = encrypt->m_bWipe ? 10 : 9;
    else if (const auto* remove = dynamic_cast<const CActionDeleteFile*>(task))
        icon.nImage = 5 + std::clamp(remove->m_nDelType, 0, 3);
    else if (const auto* mail = dynamic_cast<const CActionSendEmail*>(task))
        icon.nImage = mail->m_csAttachment.empty() ? 12 : 13;
    return icon;
}

SortKey CScheduleRows::Key(int row, int column) const {
    CAction* task = Valid(row) ? m_schedule.GetTaskById(static_cast<unsigned>(RowRef(row))) : nullptr;
    if (!task)
        return {};
    switch (column) {
    case 0:
        return Text(task->m_csName);
    case 1: {
        std::string text;
        task->GetShortSchedString(text);
        return Text(text);
    }
    case 2:
        return Number(task->m_tStart);
    case 3:
        return Number(task->m_tEnd);
    case 4:
        return Number(task->m_tNextRun);
    case 5:
        return Number(task->m_tLastRun);
    default:
        return {};
    }
}

int CScheduleRows::Compare(const std::int32_t& a, const std::int32_t& b, int column) const {
    CAction* x = m_schedule.GetTaskById(static_cast<unsigned>(a));
    CAction* y = m_schedule.GetTaskById(static_cast<unsigned>(b));
    if (!x || !y)
        return Three(x != nullptr, y != nullptr);
    switch (column) {
    case 0:
        return NoCase(x->m_csName, y->m_csName);
    case 1: {
        std::string p, q;
        x->GetShortSchedString(p);
        y->GetShortSchedString(q);
        return NoCase(p, q);
    }
    case 2:
        return Three(x->m_tStart, y->m_tStart);
    case 3:
        return Three(x->m_tEnd, y->m_tEnd);
    case 4:
        return Three(x->m_tNextRun, y->m_tNextRun);
    case 5:
        return Three(x->m_tLastRun, y->m_tLastRun);
    default:
        return 0;
    }
}

std::unique_ptr<CListRows> MakeListRows(CCenterState& state, std::uint8_t kind, const std::string& folder) {
    switch (kind) {
    case 0:
        return std::make_unique<CKeyFileRows>(state.m_keyManager);
    case 1:
    case 2:
        return std::make_unique<CAsymmKeyRows>(state.m_keyManager, kind == 2);
    case 3:
        return std::make_unique<CEncryptedFileRows>(state.m_keyManager);
    case 4:
        return std::make_unique<CEncryptedFileRows>(state.m_keyManager, folder.empty() ? "/" : folder);
    case 5:
        return std::make_unique<CTaskFileRows>(state.m_taskList);
    case 6:
        return std::make_unique<CScheduleRows>(state.m_schedule, folder);
    default:
        return nullptr;
    }
}

} // namespace center
