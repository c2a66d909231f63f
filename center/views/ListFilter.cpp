#include "center/views/ListFilter.h"

#include "center/views/ListModel.h"
#include "center/views/ListRoles.h"

#include <QAction>
#include <QKeyEvent>
#include <QToolButton>

namespace center {

CListFilter::CListFilter(QObject* parent) : QSortFilterProxyModel(parent) {
    setSortRole(kSortRole);
    setSortCaseSensitivity(Qt::CaseInsensitive);
    setDynamicSortFilter(false);
}

void CListFilter::SetFilterText(const QString& text) {
    if (text == m_text)
        return;
    m_text = text;
    invalidateFilter();
}

Qt::SortOrder CListFilter::ClickColumn(int column) {
    if (auto* rows = qobject_cast<CListRowsModel*>(sourceModel()))
        return rows->ClickColumn(column);
    const Qt::SortOrder order = m_nextAscending ? Qt::AscendingOrder : Qt::DescendingOrder;
    m_nextAscending = !m_nextAscending;
    sort(column, order);
    return order;
}

void CListFilter::sort(int column, Qt::SortOrder order) {
    if (column >= 0 && sourceModel())
        sourceModel()->sort(column, order);
}

bool CListFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    if (m_text.isEmpty())
        return true;
    const QAbstractItemModel* source = sourceModel();
    const QVariant combined = source->index(sourceRow, 0, sourceParent).data(kFilterRole);
    if (combined.isValid())
        return combined.toString().contains(m_text, Qt::CaseInsensitive);
    for (int column = 0; column < source->columnCount(sourceParent); ++column)
        if (source->index(sourceRow, column, sourceParent)
                .data()
                .toString()
                .contains(m_text, Qt::CaseInsensitive))
            return true;
    return false;
}

CFilterField::CFilterField(CListFilter* filter, QWidget* window) : QLineEdit(window) {
    setObjectName(QStringLiteral("FilterField"));
    setAccessibleName(tr("Filter"));
    setPlaceholderText(tr("Filter by name, e-mail or path (Ctrl+F)"));
    setClearButtonEnabled(true);
    // The clear button that Qt adds says what it does; the keyboard clears with Escape.
    for (QToolButton* button : findChildren<QToolButton*>()) {
        button->setAccessibleName(tr("Clear filter"));
        button->setFocusProxy(this);
    }
    auto* find = new QAction(tr("Filter"), window);
    find->setObjectName(QStringLiteral("FilterAction"));
    find->setShortcut(QKeySequence::Find);
    find->setShortcutContext(Qt::WindowShortcut);
    window->addAction(find);
    connect(find, &QAction::triggered, this, [this] {
        setFocus(Qt::ShortcutFocusReason);
        selectAll();
    });
    connect(this, &QLineEdit::textChanged, filter, &CListFilter::SetFilterText);
}

void CFilterField::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && !text().isEmpty()) {
        clear();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace center
