#include "tasks/dialogs/PropertyListBox.h"

#include "misckit/Help.h"
#include "tasks/dialogs/DlgFileMask.h"
#include "tasks/model/Action.h"
#include "tasks/model/PropertyItem.h"
#include "uikit/Ui.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <stdexcept>

namespace jobkit {

namespace {

constexpr const char* kMaskedValue = "********";

bool HasWindow(int kind) {
    return kind == CPropertyItem::FileTypes || kind == CPropertyItem::Folder || kind == CPropertyItem::File ||
           kind == CPropertyItem::LongText;
}

QString Shown(const CPropertyItem& item) {
    if (item.m_nEditorKind == CPropertyItem::Masked)
        return QString::fromLatin1(kMaskedValue);
    try {
        return QString::fromStdString(item.GetCurValueString());
    } catch (const std::invalid_argument&) {
        return {};
    }
}

// "Text": a multi-line text with OK and Cancel.
std::optional<std::string> EditLongText(const CPropertyItem& item, QWidget* parent) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QObject::tr("Text"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* edit = new QPlainTextEdit(QString::fromStdString(item.GetCurValueString()), &dialog);
    edit->setAccessibleName(QString::fromStdString(item.m_csLabel));
    edit->setTabChangesFocus(true);
    layout->addWidget(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    dialog.resize(480, 320);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return edit->toPlainText().toStdString();
}

} // namespace

std::optional<std::string> EditWithWindow(const CPropertyItem& item, QWidget* parent) {
    const std::string current = item.GetCurValueString();
    switch (item.m_nEditorKind) {
    case CPropertyItem::FileTypes: {
        CDlgFileMask dialog(current, parent);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.Mask();
    }
    case CPropertyItem::Folder:
        return uikit::ChooseFolder(
            {"Select folder", "Select the folder into which encrypted files must be placed.", current});
    case CPropertyItem::File: {
        uikit::FileRequest request;
        request.title = item.m_csTitle;
        request.filter = item.m_csFilter;
        request.defaultExtension = item.m_csDefExt;
        request.initialPath = current;
        request.flags = (item.m_dwFlags & CPropertyItem::kPathMustExist) ? uikit::kPathMustExist : 0u;
        const auto chosen = uikit::ChooseFiles(request);
        if (!chosen || chosen->empty())
            return std::nullopt;
        return chosen->front();
    }
    case CPropertyItem::LongText:
        return EditLongText(item, parent);
    default:
        return std::nullopt;
    }
}

// ---- model ----------------------------------------------------------------------------------------

void PropertyModel::SetTask(CAction* task) {
    beginResetModel();
    m_rows.clear();
    m_task = task;
    if (task)
        for (CPropertyItem& item : task->m_arProps)
            m_rows.push_back({&item, {}});
    endResetModel();
}

int PropertyModel::AddPropItem(CPropertyItem* item) {
    const int row = static_cast<int>(m_rows.size());
    beginInsertRows({}, row, row);
    m_rows.push_back({item, {}});
    endInsertRows();
    return row;
}

int PropertyModel::AddItem(const QString& text) {
    const int row = static_cast<int>(m_rows.size());
    beginInsertRows({}, row, row);
    m_rows.push_back({nullptr, text});
    endInsertRows();
    return row;
}

CPropertyItem* PropertyModel::Item(int row) const {
    return row >= 0 && row < static_cast<int>(m_rows.size()) ? m_rows[static_cast<std::size_t>(row)].item
                                                             : nullptr;
}

int PropertyModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int PropertyModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant PropertyModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
        if (!row.item)
            return index.column() == 0 ? row.text : QString();
        return index.column() == 0 ? QString::fromStdString(row.item->m_csLabel) : Shown(*row.item);
    }
    if (role == Qt::EditRole && row.item && index.column() == 1) {
        if (row.item->m_nEditorKind == CPropertyItem::Choice &&
            row.item->m_nValueType == CPropertyItem::IntValue)
            return *static_cast<const std::int32_t*>(row.item->m_pTarget);
        return QString::fromStdString(row.item->GetCurValueString());
    }
    return {};
}

QVariant PropertyModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return section == 0 ? tr("Property") : tr("Value");
}

Qt::ItemFlags PropertyModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 1 && Item(index.row()))
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool PropertyModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    CPropertyItem* item = index.column() == 1 ? Item(index.row()) : nullptr;
    if (!item || role != Qt::EditRole)
        return false;
    item->SetCurValue(value.toString().toStdString());
    emit dataChanged(index, index);
    return true;
}

// ---- delegate -------------------------------------------------------------------------------------

QWidget* PropertyDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                        const QModelIndex& index) const {
    const auto* model = qobject_cast<const PropertyModel*>(index.model());
    CPropertyItem* item = model ? model->Item(index.row()) : nullptr;
    if (!item)
        return nullptr;
    const QString name = QString::fromStdString(item->m_csLabel);
    if (item->m_nEditorKind == CPropertyItem::Choice) {
        auto* box = new QComboBox(parent);
        for (const std::string& option : item->m_vOptions)
            box->addItem(QString::fromStdString(option));
        box->setAccessibleName(name);
        connect(box, &QComboBox::activated, this,
                [this, box] { emit const_cast<PropertyDelegate*>(this)->commitData(box); });
        return box;
    }
    if (HasWindow(item->m_nEditorKind)) {
        auto* button = new QPushButton(QStringLiteral("..."), parent);
        button->setAccessibleName(tr("Edit %1").arg(name));
        QPersistentModelIndex where(index);
        connect(button, &QPushButton::clicked, button, [item, where, button] {
            if (const auto value = EditWithWindow(*item, button->window()); value && where.isValid())
                const_cast<QAbstractItemModel*>(where.model())
                    ->setData(where, QString::fromStdString(*value), Qt::EditRole);
        });
        return button;
    }
    auto* edit = new QLineEdit(parent);
    edit->setAccessibleName(name);
    if (item->m_nEditorKind == CPropertyItem::Masked || (item->m_dwEditStyle & CPropertyItem::kStylePassword))
        edit->setEchoMode(QLineEdit::Password);
    edit->setReadOnly(item->m_dwEditStyle & CPropertyItem::kStyleReadOnly);
    return edit;
}

void PropertyDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    const QVariant value = index.data(Qt::EditRole);
    if (auto* box = qobject_cast<QComboBox*>(editor)) {
        if (value.typeId() == QMetaType::Int)
            box->setCurrentIndex(value.toInt());
        else
            box->setCurrentText(value.toString());
    } else if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
        edit->setText(value.toString());
    }
}

void PropertyDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                    const QModelIndex& index) const {
    const auto* properties = qobject_cast<const PropertyModel*>(model);
    CPropertyItem* item = properties ? properties->Item(index.row()) : nullptr;
    if (!item)
        return;
    if (auto* box = qobject_cast<QComboBox*>(editor)) {
        if (box->currentIndex() < 0)
            return;
        model->setData(index,
                       item->m_nValueType == CPropertyItem::IntValue ? QString::number(box->currentIndex())
                                                                     : box->currentText(),
                       Qt::EditRole);
    } else if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
        model->setData(index, edit->text(), Qt::EditRole);
    }
}

// ---- grid -----------------------------------------------------------------------------------------

CPropertyListBox::CPropertyListBox(QWidget* parent) : QTableView(parent), m_model(new PropertyModel(this)) {
    setModel(m_model);
    setItemDelegate(new PropertyDelegate(this));
    setAccessibleName(tr("Task properties"));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(0, QHeaderView::Interactive); // the divider can be dragged
    horizontalHeader()->setStretchLastSection(true);
    setColumnWidth(0, 180);
    setTabKeyNavigation(false);
}

void CPropertyListBox::DisplayItem(CAction* task) {
    if (QWidget* editor = indexWidget(currentIndex()))
        editor->hide();
    m_model->SetTask(task);
}

// Selecting a row opens the editor of its value.
void CPropertyListBox::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (current.isValid() && current.column() == 0) {
        setCurrentIndex(m_model->index(current.row(), 1));
        return;
    }
}

// ---- "Task properties" ----------------------------------------------------------------------------

CDlgCurrentItem::CDlgCurrentItem(CAction* task, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Task properties"));
    auto* layout = new QVBoxLayout(this);
    m_grid = new CPropertyListBox(this);
    m_grid->DisplayItem(task);
    layout->addWidget(m_grid);
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        // The edit box that has the focus stores its text first.
        m_grid->setCurrentIndex({});
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this,
            [] { misckit::ShowHelpTopic("/qmhelp/TM/propbasics.htm"); });
    resize(520, 420);
}

} // namespace jobkit
