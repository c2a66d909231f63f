#pragma once

// The rows of the control center's list for each navigation kind, as plain classes that an item
// model wraps. A row holds only a reference to its record (a path, a ring position, a task id);
// every cell text and icon is produced on demand from the record, so a model can answer
// rowCount() and data(index) directly:
//
//   rows->Fill();                       // after the source changed (beginResetModel/endResetModel)
//   rows->RowCount(), rows->ColumnCount(), rows->ColumnTitle(c)
//   rows->CellText(r, c), rows->Icon(r)
//   rows->ClickColumn(c);               // a header click: sorts, alternating the direction
//                                       // (layoutAboutToBeChanged/layoutChanged around it)
//
// Fill() takes the source's order again; a model that keeps a sort calls Sort() after it.
// A row whose record has gone shows empty texts and no icon.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

class CAsymmKey;
class CTaskManager;
class KMFileInfo;

namespace center {

class CCenterState;
class CKeyManager;

// A row's icon: an index into the list's image list (kinds 1 and 6), or the file whose icon the
// desktop gives (kinds 0, 3, 4, 5), or neither.
struct RowIcon {
    int nImage = -1;
    std::string csFilePath;
};

// The raw value a column sorts by: a number, or a text when `bText`.
struct SortKey {
    bool bText = false;
    std::int64_t nValue = 0;
    std::string csText;
};

// "1 234 567": the decimal text with a blank between groups of three digits.
std::string GroupedSize(std::uint64_t size);
// Local time as the C library's "%c" gives it, cut to `maxLength` characters.
std::string DateText(std::int64_t time, std::size_t maxLength = 100);

// The "Synchronized" text of a public key: "Revoked", "Expired" (the indicator or status 4),
// else by status "Not synchronized", "Not on server", "Synchronized", "Own", or "?".
std::string SynchronizedText(const ::CAsymmKey& key);

class CListRows {
public:
    virtual ~CListRows();
    // The navigation kind these rows show (0 to 6).
    virtual std::uint8_t Kind() const = 0;
    virtual int ColumnCount() const = 0;
    virtual std::string ColumnTitle(int column) const = 0;
    // Takes the rows anew from the source, in its order.
    virtual void Fill() = 0;
    virtual int RowCount() const = 0;
    virtual std::string CellText(int row, int column) const = 0;
    virtual RowIcon Icon(int row) const;

    // What the list's roles read besides the texts. The defaults: the first column's text as the
    // filter text and text keys; no path, key file or key text.
    virtual SortKey Key(int row, int column) const;
    // The text a filter searches: name, e-mail, path. Needs no file-system call.
    virtual std::string FilterText(int row) const;
    // The file a row stands for (key file, encrypted file, listed file); empty for none.
    virtual std::string RowPath(int row) const { return (void)row, std::string(); }
    // An encrypted file's linked key file (empty when none is linked or it needs a password).
    virtual std::string KeyFilePath(int row) const { return (void)row, std::string(); }
    virtual bool NeedsKeyFile(int row) const { return (void)row, false; }
    // A key's envelope text, as export shows it.
    virtual std::string KeyText(int row) const { return (void)row, std::string(); }

    // Sorts by a column, stable. The direction alternates on every click, whichever column was
    // clicked before; the first click sorts ascending. Returns true when it sorted ascending.
    bool ClickColumn(int column);
    virtual void Sort(int column, bool ascending) = 0;
    // After a sort: for each row now, the row it held before (a model moves its indexes so).
    const std::vector<int>& LastOrder() const { return m_vOrder; }

protected:
    // Puts `rows` in `order` (order[new] = old) and keeps the order for LastOrder().
    template <class Ref>
    void Arrange(std::vector<Ref>& rows, std::vector<int> order);

private:
    bool m_bNextAscending = true;
    std::vector<int> m_vOrder;
};

template <class Ref>
void CListRows::Arrange(std::vector<Ref>& rows, std::vector<int> order) {
    std::vector<Ref> arranged;
    arranged.reserve(rows.size());
    for (const int old : order)
        arranged.push_back(std::move(rows[static_cast<std::size_t>(old)]));
    rows.swap(arranged);
    m_vOrder = std::move(order);
}

// Rows that refer to their records by `Ref`.
template <class Ref>
class CRowsOf : public CListRows {
public:
    int RowCount() const override { return static_cast<int>(m_vRows.size()); }
    const Ref& RowRef(int row) const { return m_vRows.at(static_cast<std::size_t>(row)); }
    void Sort(int column, bool ascending) override;

protected:
    // Three-way comparison of two rows' keys for a column (negative, 0, positive).
    virtual int Compare(const Ref& a, const Ref& b, int column) const = 0;
    bool Valid(int row) const { return row >= 0 && static_cast<std::size_t>(row) < m_vRows.size(); }
    std::vector<Ref> m_vRows;
};

template <class Ref>
void CRowsOf<Ref>::Sort(int column, bool ascending) {
    std::vector<int> order(m_vRows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int sign =
            Compare(m_vRows[static_cast<std::size_t>(a)], m_vRows[static_cast<std::size_t>(b)], column);
        return ascending ? sign < 0 : sign > 0;
    });
    Arrange(m_vRows, std::move(order));
}

// Kind 0: the key files. Columns "Name", "Used", "Size(64)", "Size(128)".
class CKeyFileRows : public CRowsOf<std::string> {
public:
    explicit CKeyFileRows(const CKeyManager& store) : m_store(store) {}
    std::uint8_t Kind() const override { return 0; }
    int ColumnCount() const override { return 4; }
    std::string ColumnTitle(int column) const override;
    void Fill() override;
    std::string CellText(int row, int column) const override;
    RowIcon Icon(int row) const override;
    SortKey Key(int row, int column) const override;
    std::string FilterText(int row) const override;
    std::string RowPath(int row) const override;

protected:
    int Compare(const std::string& a, const std::string& b, int column) const override;

private:
    const CKeyManager& m_store;
};

// Kinds 1 and 2: the public or private keys, by ring position. Columns "Name", "Email",
// "Created", "Expires", "Size", and for public keys "Synchronized".
class CAsymmKeyRows : public CRowsOf<std::uint32_t> {
public:
    CAsymmKeyRows(const CKeyManager& store, bool privateKeys) : m_store(store), m_bPrivate(privateKeys) {}
    std::uint8_t Kind() const override { return m_bPrivate ? 2 : 1; }
    int ColumnCount() const override { return m_bPrivate ? 5 : 6; }
    std::string ColumnTitle(int column) const override;
    void Fill() override;
    std::string CellText(int row, int column) const override;
    // Public keys: 2 revoked, 1 own, 3 expired, 0 the rest. Private keys: none.
    RowIcon Icon(int row) const override;
    SortKey Key(int row, int column) const override;
    std::string FilterText(int row) const override;
    std::string KeyText(int row) const override;

protected:
    int Compare(const std::uint32_t& a, const std::uint32_t& b, int column) const override;

private:
    const ::CAsymmKey* KeyAt(std::uint32_t position) const;
    const CKeyManager& m_store;
    bool m_bPrivate;
};

// Kinds 3 and 4: the encrypted files, all of them with a "Path" column (kind 3), or those of one
// folder (kind 4). Columns "Name", "Size", "Type", "Key File", "Algorithm", "Mode", ["Path"].
class CEncryptedFileRows : public CRowsOf<std::string> {
public:
    // Kind 3 with an empty `folder`; kind 4 lists the files directly in `folder`.
    CEncryptedFileRows(const CKeyManager& store, std::string folder = {});
    std::uint8_t Kind() const override { return m_csFolder.empty() ? 3 : 4; }
    int ColumnCount() const override { return m_csFolder.empty() ? 7 : 6; }
    std::string ColumnTitle(int column) const override;
    void Fill() override;
    std::string CellText(int row, int column) const override;
    RowIcon Icon(int row) const override;
    // Kind 3: the file is no longer there, so the store should be scanned again.
    bool FileGone(int row) const;
    SortKey Key(int row, int column) const override;
    std::string FilterText(int row) const override;
    std::string RowPath(int row) const override;
    std::string KeyFilePath(int row) const override;
    bool NeedsKeyFile(int row) const override;
    void Sort(int column, bool ascending) override;

protected:
    int Compare(const std::string& a, const std::string& b, int column) const override;

private:
    static int CompareFiles(const KMFileInfo* x, const KMFileInfo* y, int column);
    const CKeyManager& m_store;
    std::string m_csFolder;
};

// The description of a key file (kind 0): the encrypted files that need it, found through the
// key-ID index. Columns "Name", "Size", "Type", "Algorithm", "Mode", "Path" (the file's folder).
class CKeyFileUserRows : public CRowsOf<std::string> {
public:
    CKeyFileUserRows(const CKeyManager& store, std::string keyFile)
        : m_store(store), m_csKeyFile(std::move(keyFile)) {}
    std::uint8_t Kind() const override { return 0; }
    int ColumnCount() const override { return 6; }
    std::string ColumnTitle(int column) const override;
    void Fill() override;
    std::string CellText(int row, int column) const override;
    RowIcon Icon(int row) const override;
    SortKey Key(int row, int column) const override;
    std::string FilterText(int row) const override;
    std::string RowPath(int row) const override;

protected:
    int Compare(const std::string& a, const std::string& b, int column) const override;

private:
    const CKeyManager& m_store;
    std::string m_csKeyFile;
};

// Kind 5: the file list of the open task list, by its key text. Columns "Name", "Size", "Type",
// "Date", "Folder", "Action".
class CTaskFileRows : public CRowsOf<std::string> {
public:
    explicit CTaskFileRows(const CTaskManager& tasks) : m_tasks(tasks) {}
    std::uint8_t Kind() const override { return 5; }
    int ColumnCount() const override { return 6; }
    std::string ColumnTitle(int column) const override;
    void Fill() override;
    std::string CellText(int row, int column) const override;
    RowIcon Icon(int row) const override;
    SortKey Key(int row, int column) const override;
    std::string FilterText(int row) const override;
    std::string RowPath(int row) const override;

protected:
    int Compare(const std::string& a, const std::string& b, int column) const override;

private:
    const CTaskManager& m_tasks;
};

// Kind 6: the schedule's tasks, by id. Columns "Name", "Schedule", "Start Time", "End Time",
// "Next Run", "Last Run". Icons: encrypt 9 (10 wiping), delete 5 + deletion type, mail 12 (13
// with an attachment).
class CScheduleRows : public CRowsOf<std::int32_t> {
public:
    // `frame`: only the tasks of that time frame (a name of the `timeframe` table); empty or
    // "All": every task.
    explicit CScheduleRows(CTaskManager& schedule, std::string frame = {})
        : m_schedule(schedule), m_csFrame(std::move(frame)) {}
    std::uint8_t Kind() const override { return 6; }
    int ColumnCount() const override { return 6; }
    std::string ColumnTitle(int column) const override;
    void Fill() override;
    std::string CellText(int row, int column) const override;
    RowIcon Icon(int row) const override;
    SortKey Key(int row, int column) const override;

    // When a task's stored next run has passed and the scheduler says the schedule changed, the
    // schedule is reloaded before the next run is computed anew. The defaults ask the
    // scheduler link and reload nothing; the main window sets its schedule view's reload.
    std::function<bool()> m_fnScheduleChanged;
    std::function<void()> m_fnReloadSchedule;

protected:
    int Compare(const std::int32_t& a, const std::int32_t& b, int column) const override;

private:
    std::string NextRunText(std::int32_t id) const;
    CTaskManager& m_schedule;
    std::string m_csFrame;
};

// The rows of a navigation kind over the program's state; `folder` is kind 4's folder or kind 6's
// time frame. Null for
// a kind outside 0 to 6.
std::unique_ptr<CListRows> MakeListRows(CCenterState& state, std::uint8_t kind,
                                        const std::string& folder = {});

} // namespace center
