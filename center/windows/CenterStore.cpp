#include "center/windows/CenterStore.h"

#include "center/core/ColumnSets.h"
#include "center/windows/ScanWindow.h"

#include <QStandardItemModel>

namespace center {

QAbstractItemModel* CEmptyStore::ListModel(NavKind kind, const QString&) {
    const ColumnSet& set = ListColumns(kind);
    auto* model = new QStandardItemModel(0, static_cast<int>(set.columns.size()));
    for (int c = 0; c < model->columnCount(); ++c)
        model->setHeaderData(c, Qt::Horizontal,
                             QString::fromLatin1(set.columns[static_cast<std::size_t>(c)].title));
    m_model.reset(model);
    return model;
}

void CEmptyStore::Refresh(CDlgCancel& window) {
    window.Report(0, 0, 0, 0);
}

} // namespace center
