#include "center/views/NavigationTrees.h"

#include "center/views/ListRoles.h"
#include "center/windows/Icons.h"

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

CTaskTree::CTaskTree(NavKind kind, QWidget* parent) : CKeyManTree(parent), m_kind(kind) {
    const bool tasks = kind == kNavTaskList;
    setObjectName(tasks ? QStringLiteral("TaskTree") : QStringLiteral("ScheduleTree"));
    setAccessibleName(tasks ? tr("Task list") : tr("Schedule"));
}

} // namespace center
