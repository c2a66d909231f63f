#pragma once

#include <QLineEdit>
#include <QSortFilterProxyModel>

namespace center {

// Narrows any list model to the rows whose name, e-mail or path holds the filter text, without
// regard to case; sorting is left to the model below. A model that gives kFilterRole on
// column 0 is searched in that one text; any other in the display text of every column.
class CListFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit CListFilter(QObject* parent = nullptr);
    void SetFilterText(const QString& text);
    QString FilterText() const { return m_text; }

    // A header click. The rows of the store sort themselves, their direction alternating on every
    // click whichever column was clicked; any other model sorts by the column, alternating too.
    // Returns the order used. This model keeps the source's order.
    Qt::SortOrder ClickColumn(int column);
    // Sorting is the source's: passed on.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QString m_text;
    bool m_nextAscending = true;
};

// The filter field above the list: Ctrl+F from anywhere in the window puts the focus into it,
// Escape empties it, and every change narrows the list at once.
class CFilterField : public QLineEdit {
    Q_OBJECT
public:
    CFilterField(CListFilter* filter, QWidget* window);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace center
