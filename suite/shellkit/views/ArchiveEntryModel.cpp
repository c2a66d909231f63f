#include "shellkit/views/ArchiveEntryModel.h"

#include <QDateTime>
#include <QLocale>

namespace shellkit {

QString SizeText(std::uint64_t bytes) {
    if (bytes < 1024)
        return QObject::tr("%1 bytes").arg(bytes);
    return QLocale().formattedDataSize(static_cast<qint64>(bytes), 1, QLocale::DataSizeTraditionalFormat);
}

void CArchiveEntryModel::SetEntries(std::vector<corecrypt::ArchiveEntry> entries) {
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

std::vector<std::string> CArchiveEntryModel::PathsOf(const QModelIndexList& rows) const {
    std::vector<std::string> paths;
    for (const QModelIndex& index : rows)
        if (index.isValid() && index.model() == this && index.row() < rowCount())
            paths.push_back(m_entries[static_cast<std::size_t>(index.row())].path);
    return paths;
}

std::uint64_t CArchiveEntryModel::TotalSize() const {
    std::uint64_t total = 0;
    for (const auto& e : m_entries)
        total += e.size;
    return total;
}

int CArchiveEntryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
}

int CArchiveEntryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CArchiveEntryModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const corecrypt::ArchiveEntry& e = m_entries[static_cast<std::size_t>(index.row())];
    if (role == kPathRole)
        return QString::fromStdString(e.path);
    switch (index.column()) {
    case kName:
        if (role == Qt::DisplayRole || role == kSortRole || role == Qt::ToolTipRole)
            return QString::fromStdString(e.path);
        break;
    case kSize:
        if (role == Qt::DisplayRole)
            return SizeText(e.size);
        if (role == kSortRole)
            return QVariant::fromValue<qulonglong>(e.size);
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        break;
    case kModified:
        if (role == Qt::DisplayRole)
            return QLocale().toString(QDateTime::fromSecsSinceEpoch(e.modified), QLocale::ShortFormat);
        if (role == kSortRole)
            return QVariant::fromValue<qlonglong>(e.modified);
        break;
    default:
        break;
    }
    return {};
}

QVariant CArchiveEntryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case kName:
        return tr("Name");
    case kSize:
        return tr("Size");
    case kModified:
        return tr("Modified");
    default:
        return {};
    }
}

} // namespace shellkit
