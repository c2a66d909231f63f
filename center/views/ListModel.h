#pragma once

#include "center/core/ColumnSets.h"
#include "center/core/ListRows.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <functional>
#include <memory>

namespace center {

// A row's icon as the list shows it, chosen by the window (which knows the pictures) from the
// row class's answer and the navigation kind.
using RowIconFn = std::function<QIcon(std::uint8_t kind, const RowIcon& icon)>;

// The list's item model over one kind's row class. It holds no texts: every cell, icon and role
// is asked of the row class when the view wants it, so 100,000 rows cost only their references.
// A header click sorts through the row class (its direction alternating on every click), and a
// refill keeps that sort.
class CListRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The columns align as the list's column set of the rows' kind, or as `columns`.
    explicit CListRowsModel(std::unique_ptr<CListRows> rows, RowIconFn icon = {}, QObject* parent = nullptr,
                            const ColumnSet* columns = nullptr);
    ~CListRowsModel() override;

    CListRows& Rows() { return *m_rows; }
    const CListRows& Rows() const { return *m_rows; }
    // Takes the rows anew from the store, then sorts them as the last header click did.
    void Refill();
    // A header click: sorts by `column` in the direction after the last click's. The order used.
    Qt::SortOrder ClickColumn(int column);
    // The last sort (column -1 when none).
    int SortColumn() const { return m_sortColumn; }
    Qt::SortOrder SortOrder() const { return m_sortOrder; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // A sort asked of the model (not a header click): that column, that direction.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

signals:
    // All files: a row shown has lost its file, so the store needs scanning again. Told at most
    // once per fill, from the view's question for the row's icon; listeners must act later (a
    // queued call), never inside the painting that asked.
    void fileGone(const QString& path) const;

private:
    void SortRows(int column, bool ascending, bool byClick);
    QVariant Alignment(int column) const;

    std::unique_ptr<CListRows> m_rows;
    RowIconFn m_icon;
    const CEncryptedFileRows* m_allFiles = nullptr; // kind 3 only
    mutable bool m_bGoneTold = false;
    const ColumnSet& m_columns;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

} // namespace center
