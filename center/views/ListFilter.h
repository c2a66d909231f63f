#pragma once

#include <QLineEdit>
#include <QSortFilterProxyModel>

namespace center {

// Narrows any list model to the rows whose name, e-mail or path holds the filter text, without
// regard to case, and sorts by the raw values of kSortRole. A model that gives kFilterRole on
// column 0 is searched in that one text; any other in the display text of every column.
class CListFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit CListFilter(QObject* parent = nullptr);
    void SetFilterText(const QString& text);
    QString FilterText() const { return m_text; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QString m_text;
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
