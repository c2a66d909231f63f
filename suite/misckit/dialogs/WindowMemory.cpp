#include "misckit/dialogs/WindowMemory.h"

#include "misckit/Registry.h"

#include <QEvent>
#include <QWidget>

namespace misckit {

CWindowMemory::CWindowMemory(QWidget* window, const QString& name)
    : QObject(window), m_window(window), m_name(name + QStringLiteral("Geometry")) {
    window->installEventFilter(this);
    Restore();
}

bool CWindowMemory::Restore() {
    std::string bytes;
    if (!CQMRegistry(RegRoot::CurrentUser, encreg::szRegKeyman).ReadBinaryEx(m_name.toStdString(), bytes))
        return false;
    return m_window->restoreGeometry(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

void CWindowMemory::Save() {
    const QByteArray geometry = m_window->saveGeometry();
    CQMRegistry(RegRoot::CurrentUser, encreg::szRegKeyman)
        .WriteBinary(m_name.toStdString(),
                     std::string(geometry.constData(), static_cast<std::size_t>(geometry.size())));
}

bool CWindowMemory::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window && event->type() == QEvent::Hide && m_window->isWindow())
        Save();
    return QObject::eventFilter(watched, event);
}

} // namespace misckit
