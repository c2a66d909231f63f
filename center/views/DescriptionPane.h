#pragma once

#include "center/core/CommandRules.h"
#include "shellkit/views/ArchiveEntryModel.h"

#include <QTreeView>

#include <string>
#include <utility>
#include <vector>

class QSortFilterProxyModel;
class QStandardItemModel;

namespace center {

// The pane below the list: the entries of the archive activated in the list (through the same
// archive model as the archive window), or the log of a task run. It keeps the archive's path and
// the password or key file that opened it, for the archive commands.
class CKeyManDesc : public QTreeView {
    Q_OBJECT
public:
    explicit CKeyManDesc(QWidget* parent = nullptr);
    ~CKeyManDesc() override;

    // Lists `archive`. `keyFile` is the key file the store links to it (empty when it has none);
    // a password archive asks for the password once when the one held does not open it. False
    // when nothing could be listed (the user was told why).
    bool ShowArchive(const std::string& archive, const std::string& keyFile);
    // Lists the archive shown again, with the key that opened it.
    bool Reload();
    // Empties the pane and forgets the archive and its password.
    void Reset();
    // Takes the layout of what the list now shows: archive entries for encrypted files, a key
    // file's encrypted files for key files, nothing for public and private keys.
    void UseKind(NavKind kind);
    // Lists the encrypted files that need a key file (a model of the store's; null empties).
    void ShowKeyFileUsers(QAbstractItemModel* files);
    // The task-run log.
    void ShowLog(const std::vector<std::string>& lines);
    // Whether a key file's encrypted files are listed, and the files of the selected rows there,
    // in row order.
    bool ShowsKeyFileUsers() const { return m_layout == Layout::KeyFileUsers; }
    std::vector<std::string> SelectedKeyFileUsers() const;
    // The archive shown was renamed (a single encrypted file that became an archive): the same
    // listing, under its new path.
    void ArchiveMoved(const std::string& path) { m_archive = path; }
    // Adds one line to the log shown and scrolls it into view.
    void AddLogLine(const std::string& line);
    // "Property" and "Value" rows: a scheduled task, widths under "DescSchedCols".
    void ShowProperties(const std::vector<std::pair<std::string, std::string>>& rows);

    const std::string& Archive() const { return m_archive; }
    // The password, or the key file path when KeyIsFile().
    const std::string& Key() const { return m_keyIsFile ? m_keyFile : m_password; }
    bool KeyIsFile() const { return m_keyIsFile; }
    std::vector<std::string> SelectedEntries() const;
    std::vector<std::string> AllEntries() const;
    bool HasSelection() const;
    shellkit::CArchiveEntryModel* Entries() const { return m_entries; }

    // Widths under "DescFilesCols", or "DescKeysCols" for a key file's files.
    void SaveColumns() const;

signals:
    void focusEntered();
    void selectionMoved();

protected:
    void focusInEvent(QFocusEvent* event) override;

private:
    void UseEntries();
    void UseKeyFileUsers(QAbstractItemModel* files);

    enum class Layout { Entries, KeyFileUsers, Nothing, Log, Properties };
    Layout m_layout = Layout::Entries;
    NavKind m_kind = kNavAllFiles;

    std::string m_archive;
    std::string m_password;
    std::string m_keyFile;
    bool m_keyIsFile = false;
    shellkit::CArchiveEntryModel* m_entries;
    QSortFilterProxyModel* m_sorted;
    QStandardItemModel* m_log;
    QStandardItemModel* m_nothing; // no rows: public and private keys, or a key file's headers
    QStandardItemModel* m_props;
};

} // namespace center
