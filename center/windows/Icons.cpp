#include "center/windows/Icons.h"

#include "center/core/ListRows.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QHash>

namespace center {

namespace {

struct IconName {
    const char* theme; // freedesktop name; null: ours only
    const char* own;   // bundled picture
};

IconName NameOf(IconId id) {
    switch (id) {
    case IconId::SecretKeys:
        return {nullptr, "key-secret"};
    case IconId::PublicKeys:
        return {nullptr, "key-public"};
    case IconId::PrivateKeys:
        return {nullptr, "key-private"};
    case IconId::KeyValid:
        return {nullptr, "key-valid"};
    case IconId::KeyExpired:
        return {nullptr, "key-expired"};
    case IconId::KeyRevoked:
        return {nullptr, "key-revoked"};
    case IconId::Folder:
        return {"folder", "folder"};
    case IconId::AllFiles:
        return {nullptr, "all-files"};
    case IconId::Drive:
        return {nullptr, "drive"};
    case IconId::Archive:
        return {nullptr, "archive"};
    case IconId::TaskEncrypt:
        return {nullptr, "task-encrypt"};
    case IconId::TaskDelete:
        return {nullptr, "task-delete"};
    case IconId::TaskMail:
        return {nullptr, "task-mail"};
    case IconId::NewArchive:
        return {"document-new", "archive"};
    case IconId::Wizard:
        return {"tools-wizard", "task-encrypt"};
    case IconId::Messenger:
        return {"mail-message-new", "task-mail"};
    case IconId::Locations:
        return {"folder-saved-search", "folder"};
    case IconId::Refresh:
        return {"view-refresh", "refresh"};
    case IconId::Preferences:
        return {"preferences-system", "preferences"};
    case IconId::Exit:
        return {"application-exit", "exit"};
    case IconId::AddFiles:
        return {"list-add", "all-files"};
    case IconId::AddFolder:
        return {"folder-new", "folder"};
    case IconId::Delete:
        return {"edit-delete", "task-delete"};
    case IconId::OutputFolder:
        return {"document-open-folder", "folder"};
    case IconId::DecryptAll:
        return {"document-decrypt", "archive"};
    case IconId::DecryptSelected:
        return {"document-decrypt", "all-files"};
    case IconId::DecryptRemove:
        return {"edit-cut", "archive"};
    case IconId::Boxview:
        return {"document-open", "archive"};
    case IconId::GenerateKey:
        return {nullptr, "key-valid"};
    case IconId::KeyFolder:
        return {nullptr, "key-secret"};
    case IconId::SessionKey:
        return {nullptr, "key-private"};
    case IconId::ExportKey:
        return {"document-export", "export"};
    case IconId::ImportKey:
        return {"document-import", "import"};
    case IconId::FindKey:
        return {"edit-find", "find"};
    case IconId::SyncKeys:
        return {"view-refresh", "sync"};
    case IconId::PublishKey:
        return {"document-send", "publish"};
    case IconId::RevokeKey:
        return {nullptr, "key-revoked"};
    case IconId::NewTaskList:
        return {"document-new", "task-encrypt"};
    case IconId::OpenTaskList:
        return {"document-open", "folder"};
    case IconId::SaveTaskList:
        return {"document-save", "save"};
    case IconId::NewTask:
        return {"list-add", "task-encrypt"};
    case IconId::TaskProperties:
        return {"document-properties", "properties"};
    case IconId::ScheduleTask:
        return {"appointment-new", "schedule"};
    case IconId::ListFiles:
        return {"view-list-details", "all-files"};
    case IconId::ClearList:
        return {"edit-clear", "clear"};
    case IconId::PerformTask:
        return {"media-playback-start", "action"};
    case IconId::PerformTasks:
        return {"media-seek-forward", "action"};
    case IconId::StartScheduler:
        return {"media-playback-start", "action"};
    case IconId::StopScheduler:
        return {"media-playback-stop", "stop"};
    case IconId::Help:
        return {"help-contents", "help"};
    }
    return {nullptr, "action"};
}

} // namespace

QString OwnIconPath(IconId id) {
    return QStringLiteral(":/center/%1.svg").arg(QString::fromLatin1(NameOf(id).own));
}

QIcon CenterIcon(IconId id) {
    const IconName name = NameOf(id);
    const QIcon own(OwnIconPath(id));
    return name.theme ? QIcon::fromTheme(QString::fromLatin1(name.theme), own) : own;
}

} // namespace center

namespace center {

QIcon RowIconOf(std::uint8_t kind, const RowIcon& icon) {
    switch (kind) {
    case 0:
        return icon.csFilePath.empty() ? QIcon() : CenterIcon(IconId::SecretKeys);
    case 1:
        switch (icon.nImage) {
        case 0:
            return CenterIcon(IconId::KeyValid);
        case 1:
            return CenterIcon(IconId::PrivateKeys);
        case 2:
            return CenterIcon(IconId::KeyRevoked);
        case 3:
            return CenterIcon(IconId::KeyExpired);
        default:
            return {};
        }
    case 3:
    case 4:
        return icon.csFilePath.empty() ? QIcon() : CenterIcon(IconId::Archive);
    case 5: {
        if (icon.csFilePath.empty())
            return {};
        // Asking the desktop for every row's icon is slow; one per file type is enough.
        static QHash<QString, QIcon> byType;
        const QFileInfo file(QString::fromStdString(icon.csFilePath));
        const QString type = file.suffix().toLower();
        auto it = byType.find(type);
        if (it == byType.end())
            it = byType.insert(type, QFileIconProvider().icon(file));
        return *it;
    }
    case 6:
        if (icon.nImage >= 5 && icon.nImage <= 8)
            return CenterIcon(IconId::TaskDelete);
        if (icon.nImage == 9 || icon.nImage == 10)
            return CenterIcon(IconId::TaskEncrypt);
        if (icon.nImage == 12 || icon.nImage == 13)
            return CenterIcon(IconId::TaskMail);
        return {};
    default:
        return {};
    }
}

} // namespace center
