#include "center/views/NavigationTrees.h"

#include "center/core/TaskViewText.h"
#include "center/views/ListRoles.h"
#include "center/windows/Icons.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"
#include "tasks/model/Tables.h"
#include "uikit/UIException.h"

#include <QHeaderView>
#include <QStandardItemModel>

#include <map>

namespace center {

namespace {

constexpr int kKindRole = Qt::UserRole + 20;

QStandardItem* Root(QStandardItemModel* model, const QString& label, const QIcon& icon, NavKind kind) {
    auto* item = new QStandardItem(icon, label);
    item->setEditable(false);
    item->setData(label, kPathRole);
    item->setData(static_cast<int>(kind), kKindRole);
    model->appendRow(item);
    return item;
}

void Relabel(QStandardItem* item, int count) {
    item->setText(QStringLiteral("%1 (%2)").arg(item->data(kPathRole).toString()).arg(count));
}

} // namespace

CKeyManTree::CKeyManTree(QWidget* parent) : QTreeView(parent), m_items(new QStandardItemModel(this)) {
    setModel(m_items);
    header()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFocusPolicy(Qt::StrongFocus);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (isVisible())
            emit selectionMoved();
    });
}

void CKeyManTree::focusInEvent(QFocusEvent* event) {
    QTreeView::focusInEvent(event);
    emit focusEntered();
}

CKeysTree::CKeysTree(QWidget* parent) : CKeyManTree(parent) {
    setObjectName(QStringLiteral("KeysTree"));
    setAccessibleName(tr("Keys"));
    m_public = Root(m_items, tr("Public Keys"), CenterIcon(IconId::PublicKeys), kNavPublicKeys);
    m_private = Root(m_items, tr("Private Keys"), CenterIcon(IconId::PrivateKeys), kNavPrivateKeys);
    m_secret = Root(m_items, tr("Secret Keys"), CenterIcon(IconId::SecretKeys), kNavSecretKeys);
    SetCounts(0, 0, 0);
    setCurrentIndex(m_secret->index());
}

void CKeysTree::SetCounts(int publicKeys, int privateKeys, int keyFiles) {
    Relabel(m_public, publicKeys);
    Relabel(m_private, privateKeys);
    Relabel(m_secret, keyFiles);
}

NavKind CKeysTree::SelectedKind() const {
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return kNavSecretKeys;
    return static_cast<NavKind>(current.data(kKindRole).toInt());
}

void CKeysTree::SelectKind(NavKind kind) {
    for (QStandardItem* item : {m_public, m_private, m_secret})
        if (item->data(kKindRole).toInt() == kind)
            setCurrentIndex(item->index());
}

CFileTree::CFileTree(QWidget* parent) : CKeyManTree(parent) {
    setObjectName(QStringLiteral("FileTree"));
    setAccessibleName(tr("Encrypted files"));
    SetFiles({});
}

void CFileTree::SetFiles(const std::vector<std::string>& paths) {
    m_items->clear();
    m_folders = Root(m_items, tr("Folders"), CenterIcon(IconId::Folder), kNavFolderFiles);
    m_all = Root(m_items, tr("All Files"), CenterIcon(IconId::AllFiles), kNavAllFiles);
    // Each prefix of a path that ends at a "/" is a folder item under the one before it.
    std::map<std::string, QStandardItem*> index;
    for (const std::string& path : paths) {
        QStandardItem* parent = m_folders;
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1)) {
            const std::string prefix = path.substr(0, slash + 1);
            auto found = index.find(prefix);
            if (found == index.end()) {
                const bool root = prefix == "/";
                // The folder's own name; the root keeps its "/".
                const std::string trimmed = prefix.substr(0, prefix.size() - 1);
                const std::string label = root ? prefix : trimmed.substr(trimmed.find_last_of('/') + 1);
                auto* item = new QStandardItem(CenterIcon(root ? IconId::Drive : IconId::Folder),
                                               QString::fromStdString(label));
                item->setEditable(false);
                item->setData(QString::fromStdString(prefix), kPathRole);
                item->setData(static_cast<int>(kNavFolderFiles), kKindRole);
                parent->appendRow(item);
                found = index.emplace(prefix, item).first;
            }
            parent = found->second;
        }
    }
    Relabel(m_all, static_cast<int>(paths.size()));
    setCurrentIndex(m_all->index());
}

NavKind CFileTree::SelectedKind() const {
    const QModelIndex current = currentIndex();
    if (current.isValid() && current == m_all->index())
        return kNavAllFiles;
    return kNavFolderFiles;
}

QString CFileTree::SelectedFilter() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.data(kPathRole).toString() : QString();
}

bool CFileTree::SelectFolder(const QString& folder) {
    const QModelIndexList found =
        m_items->match(m_folders->index(), kPathRole, folder, 1, Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty())
        return false;
    setCurrentIndex(found.first());
    return true;
}

QIcon TaskImageIcon(int image) {
    const char* own = "task-delete";
    switch (image) {
    case kImageDeleteGroup:
        own = "task-delete";
        break;
    case kImageDrive:
        return CenterIcon(IconId::Drive);
    case kImageFolder:
        return CenterIcon(IconId::Folder);
    case kImageFolderOpen:
        return QIcon::fromTheme(QStringLiteral("folder-open"),
                                QIcon(QStringLiteral(":/center/folder-open.svg")));
    case kImageDeleteTask:
        own = "task-keep";
        break;
    case kImageDeleteTask + 1:
        own = "task-recycle";
        break;
    case kImageDeleteTask + 2:
        own = "task-delete";
        break;
    case kImageDeleteTask + 3:
        own = "task-wipe";
        break;
    case kImageEncrypt:
        own = "task-encrypt";
        break;
    case kImageEncryptWipe:
        own = "task-encrypt-wipe";
        break;
    case kImageSender:
        own = "sender";
        break;
    case kImageMail:
        own = "task-mail";
        break;
    case kImageMailAttachment:
        own = "task-mail-attach";
        break;
    default:
        break;
    }
    return QIcon(QStringLiteral(":/center/%1.svg").arg(QString::fromLatin1(own)));
}

namespace {

CAction* TaskOf(const QStandardItem* item) {
    return item ? reinterpret_cast<CAction*>(item->data(kTaskRole).value<quintptr>()) : nullptr;
}

void SetImage(QStandardItem* item, int image) {
    item->setData(image, kImageRole);
    item->setIcon(TaskImageIcon(image));
}

const char kNoTasks[] = "No tasks";

// A task of another known kind is code 0, anything else code 1.
[[noreturn]] void WrongType(const CAction* task, const char* text) {
    const bool known = dynamic_cast<const CFileAction*>(task) || dynamic_cast<const CActionSendEmail*>(task);
    throw CUIException(known ? 0 : 1, text, "");
}

} // namespace

CTaskTree::CTaskTree(QWidget* parent) : CKeyManTree(parent) {
    setObjectName(QStringLiteral("TaskTree"));
    setAccessibleName(tr("Task list"));
    // Folders show open while expanded.
    const auto swap = [this](const QModelIndex& index, bool open) {
        QStandardItem* item = m_items->itemFromIndex(index);
        const int image = item ? item->data(kImageRole).toInt() : -1;
        if (item && (image == kImageFolder || image == kImageFolderOpen))
            SetImage(item, open ? kImageFolderOpen : kImageFolder);
    };
    connect(this, &QTreeView::expanded, this, [swap](const QModelIndex& i) { swap(i, true); });
    connect(this, &QTreeView::collapsed, this, [swap](const QModelIndex& i) { swap(i, false); });
    CTaskManager none;
    Fill(none);
}

QStandardItem* CTaskTree::AddNode(QStandardItem* parent, const QString& label, int image) {
    auto* item = new QStandardItem(label);
    item->setEditable(false);
    SetImage(item, image);
    item->setData(static_cast<int>(kNavTaskList), kKindRole);
    parent->appendRow(item);
    return item;
}

void CTaskTree::SetEmpty(QStandardItem* group) {
    if (group->rowCount() == 0) {
        QStandardItem* none = AddNode(group, tr(kNoTasks), -1);
        none->setIcon(QIcon());
        expand(group->index());
    }
}

void CTaskTree::Fill(const CTaskManager& tasks) {
    const bool blocked = blockSignals(true);
    m_items->clear();
    const struct {
        const char* label;
        int image;
    } groups[] = {{"Encrypt", kImageEncrypt}, {"Send", kImageMail}, {"Delete", kImageDeleteGroup}};
    for (int i = 0; i < 3; ++i) {
        auto* group = new QStandardItem(tr(groups[i].label));
        group->setEditable(false);
        QFont bold = font();
        bold.setBold(true);
        group->setData(bold, Qt::FontRole);
        group->setData(static_cast<int>(kNavTaskList), kKindRole);
        SetImage(group, groups[i].image);
        m_items->appendRow(group);
        m_groups[i] = group;
    }
    for (const auto* list : {&tasks.m_lstEncrypt, &tasks.m_lstSendMail, &tasks.m_lstDelete})
        for (CAction* task : *list)
            if (task)
                AddTask(task);
    for (QStandardItem* group : m_groups)
        SetEmpty(group);
    setCurrentIndex(m_groups[0]->index());
    blockSignals(blocked);
}

QStandardItem* CTaskTree::AddBelowChain(QStandardItem* group, CAction* task) {
    QStandardItem* parent = group;
    for (const FolderStep& step : FolderChain(static_cast<CFileAction*>(task)->m_csLocation)) {
        const QString prefix = QString::fromStdString(step.prefix);
        QStandardItem* found = nullptr;
        for (int r = 0; r < parent->rowCount() && !found; ++r)
            if (!TaskOf(parent->child(r)) && parent->child(r)->data(kPathRole).toString() == prefix)
                found = parent->child(r);
        if (!found) {
            found =
                AddNode(parent, QString::fromStdString(step.label), step.drive ? kImageDrive : kImageFolder);
            found->setData(prefix, kPathRole);
        }
        parent = found;
    }
    QStandardItem* node = AddNode(parent, QString(), TaskNodeImage(*task));
    node->setData(QVariant::fromValue(reinterpret_cast<quintptr>(task)), kTaskRole);
    Relabel(node);
    return node;
}

QStandardItem* CTaskTree::AddPathEncryptItem(CAction* task) {
    if (!dynamic_cast<CActionEncryptFile*>(task))
        WrongType(task, "CTaskTree::AddPathEncryptItem(): wrong type of item.");
    return AddBelowChain(m_groups[0], task);
}

QStandardItem* CTaskTree::AddPathDeleteItem(CAction* task) {
    if (!dynamic_cast<CActionDeleteFile*>(task))
        WrongType(task, "CTaskTree::AddPathDeleteItem(): wrong type of item.");
    return AddBelowChain(m_groups[2], task);
}

QStandardItem* CTaskTree::AddSenderSendItem(CAction* task) {
    auto* mail = dynamic_cast<CActionSendEmail*>(task);
    if (!mail)
        WrongType(task, "CTaskTree::AddSenderSendItem(): wrong type of item.");
    const QString sender = QString::fromStdString(mail->m_csSenderEmail);
    QStandardItem* group = m_groups[1];
    QStandardItem* parent = nullptr;
    for (int r = 0; r < group->rowCount() && !parent; ++r)
        if (group->child(r)->data(kImageRole).toInt() == kImageSender && group->child(r)->text() == sender)
            parent = group->child(r);
    if (!parent)
        parent = AddNode(group, sender, kImageSender);
    QStandardItem* node = AddNode(parent, QString(), TaskNodeImage(*task));
    node->setData(QVariant::fromValue(reinterpret_cast<quintptr>(task)), kTaskRole);
    Relabel(node);
    return node;
}

QStandardItem* CTaskTree::AddTask(CAction* task) {
    int group = -1;
    if (dynamic_cast<CActionEncryptFile*>(task))
        group = 0;
    else if (dynamic_cast<CActionSendEmail*>(task))
        group = 1;
    else if (dynamic_cast<CActionDeleteFile*>(task))
        group = 2;
    else
        WrongType(task, "CTaskTree::AddPathEncryptItem(): wrong type of item.");
    QStandardItem* g = m_groups[group];
    if (g->rowCount() == 1 && !g->child(0)->hasChildren() && g->child(0)->data(kImageRole).toInt() == -1)
        g->removeRow(0);
    QStandardItem* node = group == 0   ? AddPathEncryptItem(task)
                          : group == 1 ? AddSenderSendItem(task)
                                       : AddPathDeleteItem(task);
    for (QStandardItem* up = node->parent(); up; up = up->parent()) {
        expand(up->index());
        if (up->data(kImageRole).toInt() == kImageFolder)
            SetImage(up, kImageFolderOpen);
    }
    return node;
}

void CTaskTree::Relabel(QStandardItem* node) {
    CAction* task = TaskOf(node);
    if (!task)
        return;
    task->m_csName = TaskNodeLabel(*task);
    node->setText(QString::fromStdString(task->m_csName));
    SetImage(node, TaskNodeImage(*task));
}

QStandardItem* CTaskTree::NodeOf(const CAction* task) const {
    const QModelIndexList found =
        m_items->match(m_items->index(0, 0), kTaskRole, QVariant::fromValue(reinterpret_cast<quintptr>(task)),
                       1, Qt::MatchExactly | Qt::MatchRecursive | Qt::MatchWrap);
    return found.isEmpty() ? nullptr : m_items->itemFromIndex(found.first());
}

CAction* CTaskTree::SelectedTask() const {
    return TaskOf(m_items->itemFromIndex(currentIndex()));
}

void CTaskTree::SelectTask(const CAction* task) {
    if (QStandardItem* node = NodeOf(task))
        setCurrentIndex(node->index());
}

void CTaskTree::RemoveTask(const CAction* task) {
    QStandardItem* node = NodeOf(task);
    if (!node)
        return;
    QStandardItem* parent = node->parent();
    int row = node->row();
    parent->removeRow(row);
    // Folders and senders left without tasks go, up to the group.
    while (parent->parent() && parent->rowCount() == 0) {
        QStandardItem* up = parent->parent();
        row = parent->row();
        up->removeRow(row);
        parent = up;
    }
    SetEmpty(parent);
    const int nearest = std::min(row, parent->rowCount() - 1);
    setCurrentIndex(nearest >= 0 ? parent->child(nearest)->index() : parent->index());
}

CSchedTree::CSchedTree(QWidget* parent) : CKeyManTree(parent) {
    setObjectName(QStringLiteral("ScheduleTree"));
    setAccessibleName(tr("Schedule"));
    m_all = new QStandardItem(tr("All"));
    m_all->setEditable(false);
    m_all->setData(QString(), kPathRole);
    m_all->setIcon(CenterIcon(IconId::ScheduleTask));
    m_items->appendRow(m_all);
    for (const char* frame : timeframe) {
        auto* item = new QStandardItem(QString::fromLatin1(frame));
        item->setEditable(false);
        item->setData(QString::fromLatin1(frame), kPathRole);
        item->setIcon(CenterIcon(IconId::ScheduleTask));
        m_all->appendRow(item);
    }
    expandAll();
    setCurrentIndex(m_all->index());
}

QString CSchedTree::SelectedFilter() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.data(kPathRole).toString() : QString();
}

bool CSchedTree::AllSelected() const {
    return !currentIndex().isValid() || currentIndex() == m_all->index();
}

void CSchedTree::SetCounts(const CTaskManager& schedule) {
    int counts[7] = {};
    int all = 0;
    for (const auto* list : {&schedule.m_lstDelete, &schedule.m_lstEncrypt, &schedule.m_lstSendMail})
        for (const CAction* task : *list)
            if (task) {
                ++all;
                if (task->m_nTimeFrame >= 0 && task->m_nTimeFrame < 7)
                    ++counts[task->m_nTimeFrame];
            }
    m_all->setText(QString::fromStdString(FrameLabel("All", all)));
    for (int i = 0; i < 7; ++i)
        m_all->child(i)->setText(QString::fromStdString(FrameLabel(timeframe[i], counts[i])));
}

} // namespace center
