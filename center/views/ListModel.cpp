#include "center/views/ListModel.h"

#include "center/views/ListRoles.h"

namespace center {

CListRowsModel::CListRowsModel(std::unique_ptr<CListRows> rows, RowIconFn icon, QObject* parent,
                               const ColumnSet* columns)
    : QAbstractTableModel(parent), m_rows(std::move(rows)), m_icon(std::move(icon)),
      m_columns(columns ? *columns : ListColumns(static_cast<NavKind>(m_rows->Kind()))) {
    if (m_rows->Kind() == 3)
        m_allFiles = dynamic_cast<const CEncryptedFileRows*>(m_rows.get());
    m_rows->Fill();
}

QVariant CListRowsModel::Alignment(int column) const {
    const bool right = column >= 0 && static_cast<std::size_t>(column) < m_columns.columns.size() &&
                       m_columns.columns[static_cast<std::size_t>(column)].right;
    return QVariant::fromValue(Qt::Alignment((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
}

CListRowsModel::~CListRowsModel() = default;

void CListRowsModel::Refill() {
    beginResetModel();
    m_rows->Fill();
    m_bGoneTold = false;
    if (m_sortColumn >= 0)
        m_rows->Sort(m_sortColumn, m_sortOrder == Qt::AscendingOrder);
    endResetModel();
}

Qt::SortOrder CListRowsModel::ClickColumn(int column) {
    if (column < 0 || column >= m_rows->ColumnCount())
        return m_sortOrder;
    SortRows(column, true, true);
    return m_sortOrder;
}

void CListRowsModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= m_rows->ColumnCount())
        return;
    SortRows(column, order == Qt::AscendingOrder, false);
}

void CListRowsModel::SortRows(int column, bool ascending, bool byClick) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    if (byClick)
        ascending = m_rows->ClickColumn(column);
    else
        m_rows->Sort(column, ascending);
    m_sortColumn = column;
    m_sortOrder = ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
    // Indexes kept by the views and the filter follow their rows to the new places.
    const QModelIndexList before = persistentIndexList();
    if (!before.isEmpty()) {
        const std::vector<int>& order = m_rows->LastOrder();
        std::vector<int> place(order.size());
        for (std::size_t now = 0; now < order.size(); ++now)
            place[static_cast<std::size_t>(order[now])] = static_cast<int>(now);
        QModelIndexList after;
        after.reserve(before.size());
        for (const QModelIndex& index : before)
            after << index.sibling(place.at(static_cast<std::size_t>(index.row())), index.column());
        changePersistentIndexList(before, after);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int CListRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows->RowCount();
}

int CListRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows->ColumnCount();
}

QVariant CListRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= m_rows->ColumnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return QString::fromStdString(m_rows->ColumnTitle(section));
    if (role == Qt::TextAlignmentRole)
        return Alignment(section);
    return {};
}

QVariant CListRowsModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int row = index.row();
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return QString::fromStdString(m_rows->CellText(row, column));
    case Qt::DecorationRole:
        if (column != 0)
            return {};
        if (m_allFiles && !m_bGoneTold && m_allFiles->FileGone(row)) {
            m_bGoneTold = true;
            emit fileGone(QString::fromStdString(m_allFiles->RowPath(row)));
        }
        if (!m_icon)
            return {};
        return m_icon(m_rows->Kind(), m_rows->Icon(row));
    case Qt::TextAlignmentRole:
        return Alignment(column);
    case kSortRole: {
        const SortKey key = m_rows->Key(row, column);
        return key.bText ? QVariant(QString::fromStdString(key.csText)) : QVariant(qlonglong(key.nValue));
    }
    case kPathRole:
        return QString::fromStdString(m_rows->RowPath(row));
    case kFilterRole:
        return QString::fromStdString(m_rows->FilterText(row));
    case kKeyTextRole:
        return QString::fromStdString(m_rows->KeyText(row));
    case kKeyFileRole:
        return QString::fromStdString(m_rows->KeyFilePath(row));
    case kNeedsKeyFileRole:
        return m_rows->NeedsKeyFile(row);
    default:
        return {};
    }
}

} // namespace center
