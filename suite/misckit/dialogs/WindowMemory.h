#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace misckit {

// Remembers a window's size and position in the control center's settings under "<name>Geometry"
// and restores them when the window is built, so that every window opens where the user left it.
// Owned by the window; saves whenever the window is hidden.
class CWindowMemory : public QObject {
    Q_OBJECT
public:
    CWindowMemory(QWidget* window, const QString& name);

    // Restores the stored geometry; without one, the window keeps its size hint.
    bool Restore();
    void Save();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    QString m_name;
};

} // namespace misckit
