#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QStyledItemDelegate>
#include <QTableView>

#include <optional>
#include <string>
#include <vector>

class CAction;
class CPropertyItem;

namespace jobkit {

// The rows of a task's property list: name and value. Edits go straight into the task's fields
// through the rows' bindings; the model keeps no copy.
class PropertyModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    // Shows the task's properties (null: none). The task must outlive its display.
    void SetTask(CAction* task);
    CAction* Task() const { return m_task; }
    int AddPropItem(CPropertyItem* item);
    // A row of text alone (a heading), not editable.
    int AddItem(const QString& text);
    CPropertyItem* Item(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
    struct Row {
        CPropertyItem* item = nullptr;
        QString text;
    };
    CAction* m_task = nullptr;
    std::vector<Row> m_rows;
};

// The editors of the value column: a choice list, an edit box (masked for passwords) or a "..."
// button that opens the row's window.
class PropertyDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
};

// Opens the window of a "..." row with the current value: the new value, or nothing on Cancel.
std::optional<std::string> EditWithWindow(const CPropertyItem& item, QWidget* parent);

// The property grid: two columns, name and value, the value edited in place.
class CPropertyListBox : public QTableView {
    Q_OBJECT
public:
    explicit CPropertyListBox(QWidget* parent = nullptr);
    void DisplayItem(CAction* task);
    int AddPropItem(CPropertyItem* item) { return m_model->AddPropItem(item); }
    int AddItem(const QString& text) { return m_model->AddItem(text); }
    PropertyModel* Model() const { return m_model; }

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    PropertyModel* m_model;
};

// "Task properties": one task in the grid with OK, Cancel and Help. Edits are stored as they are
// made, so Cancel does not undo them; the result only tells which button closed the window.
class CDlgCurrentItem : public QDialog {
    Q_OBJECT
public:
    explicit CDlgCurrentItem(CAction* task, QWidget* parent = nullptr);
    CPropertyListBox* Grid() const { return m_grid; }

private:
    CPropertyListBox* m_grid;
};

} // namespace jobkit
