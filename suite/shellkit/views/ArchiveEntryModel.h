#pragma once

#include "corecrypt/Archive.h"

#include <QAbstractTableModel>

#include <vector>

namespace shellkit {

// The entries of one encrypted archive as a table: name, size and modification time. The
// archive window shows it, and the control center's description pane reuses it. The sort role
// gives raw numbers, so a sort proxy orders sizes and times by value.
class CArchiveEntryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kName = 0, kSize = 1, kModified = 2, kColumnCount = 3 };
    static constexpr int kSortRole = Qt::UserRole + 1;
    static constexpr int kPathRole = Qt::UserRole + 2;

    using QAbstractTableModel::QAbstractTableModel;

    void SetEntries(std::vector<corecrypt::ArchiveEntry> entries);
    const std::vector<corecrypt::ArchiveEntry>& Entries() const { return m_entries; }
    // The archive paths of the given rows of this model.
    std::vector<std::string> PathsOf(const QModelIndexList& rows) const;
    std::uint64_t TotalSize() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<corecrypt::ArchiveEntry> m_entries;
};

// "1.5 MB", "512 bytes".
QString SizeText(std::uint64_t bytes);

} // namespace shellkit
