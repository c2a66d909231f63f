// A stand-in desktop notification service for tests: it owns org.freedesktop.Notifications on the
// session bus it is given and appends each notification to a file, one line per call: the
// application name, summary and body separated by tabs (line breaks in the body as "\n").
// Usage: notice_catcher OUTPUT-FILE
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <cstdio>

class NoticeCatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    explicit NoticeCatcher(QString path) : m_path(std::move(path)) {}

public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int) {
        QFile file(m_path);
        if (file.open(QIODevice::Append)) {
            QString line = app + "\t" + summary + "\t" + QString(body).replace("\n", "\\n") + "\n";
            file.write(line.toUtf8());
        }
        return ++m_count;
    }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }
    void CloseNotification(uint) {}
    QString GetServerInformation(QString& vendor, QString& version, QString& spec) {
        vendor = QStringLiteral("tests");
        version = QStringLiteral("1");
        spec = QStringLiteral("1.2");
        return QStringLiteral("notice_catcher");
    }

private:
    QString m_path;
    uint m_count = 0;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: notice_catcher OUTPUT-FILE\n", stderr);
        return 2;
    }
    NoticeCatcher catcher(QString::fromLocal8Bit(argv[1]));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &catcher,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
        std::fprintf(stderr, "notice_catcher: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    return app.exec();
}

#include "NoticeCatcher.moc"
