#include "keeper/DesktopNotice.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace keeper {

namespace {
constexpr int kCallTimeoutMs = 3000;
} // namespace

std::string TaskErrorsSummary(const std::string& taskName, int errors) {
    return "Scheduled task \"" + taskName + "\" ended with " + std::to_string(errors) +
           (errors == 1 ? " error" : " errors");
}

std::string TaskErrorsBody(int errors, const std::string& firstError) {
    std::string body = firstError.empty() ? std::string() : (errors == 1 ? "" : "First: ") + firstError;
    if (!body.empty())
        body += "\n";
    return body + "The scheduler's log holds every line of the run.";
}

bool NotifyTaskErrors(const std::string& taskName, int errors, const std::string& firstError,
                      std::string& reason) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        reason = "no session bus: " + bus.lastError().message().toStdString();
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(1));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("qmcenter"));
    call << QStringLiteral("Quillmark Scheduler") << uint(0) << QStringLiteral("dialog-warning")
         << QString::fromStdString(TaskErrorsSummary(taskName, errors))
         << QString::fromStdString(TaskErrorsBody(errors, firstError)) << QStringList() << hints << int(-1);
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        reason = "the notification service did not answer: " + reply.errorMessage().toStdString();
        return false;
    }
    return true;
}

} // namespace keeper
