#pragma once

// Drives the main window as a user does in the widget tests: activating it, counting and
// selecting list rows.

#include "center/views/ListFilter.h"
#include "center/windows/MainWindow.h"

#include <QTest>
#include <QTreeView>

namespace qmtest {

// Focus moves only inside the active window.
inline bool Activate(CMainFrame& frame) {
    frame.activateWindow();
    return QTest::qWaitForWindowActive(&frame);
}

inline int Rows(CMainFrame& frame) {
    return frame.ListFilter()->rowCount();
}

inline void SelectListRow(CMainFrame& frame, int row) {
    frame.List()->setFocus();
    const QModelIndex index = frame.ListFilter()->index(row, 0);
    frame.List()->selectionModel()->select(index,
                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    frame.List()->setCurrentIndex(index);
}

// The list row whose `column` shows `text`; -1 when none does.
inline int RowShowing(CMainFrame& frame, int column, const QString& text) {
    for (int r = 0; r < Rows(frame); ++r)
        if (frame.ListFilter()->index(r, column).data().toString() == text)
            return r;
    return -1;
}

} // namespace qmtest
