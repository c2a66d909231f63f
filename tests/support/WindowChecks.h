#pragma once

// Checks that widget tests run on every window: a picture of it for the reviewer, and that every
// control can be found by assistive tools and reached by keyboard.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStringList>
#include <QTest>
#include <QTextEdit>
#include <QWidget>

namespace qmtest {

// Saves a picture of the window as <build>/window-pictures/<name>.png; the path, or empty when
// it could not be written.
inline QString SaveWindowPicture(QWidget* window, const QString& name) {
#ifdef QM_WINDOW_PICTURES
    const QString folder = QStringLiteral(QM_WINDOW_PICTURES);
#else
    const QString folder = QDir::currentPath() + QStringLiteral("/window-pictures");
#endif
    QDir().mkpath(folder);
    const QString path = folder + "/" + name + ".png";
    QApplication::processEvents();
    return window->grab().save(path) ? path : QString();
}

// The controls of `window` that are visible but have no name a screen reader could say: a button
// without text or accessible name, or an input without accessible name and without a label that
// names it as its buddy. Each is listed by class and object name.
inline QStringList UnnamedControls(QWidget* window) {
    QStringList unnamed;
    QList<QWidget*> labelled;
    for (QLabel* label : window->findChildren<QLabel*>())
        if (label->buddy())
            labelled << label->buddy();
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window) || !w->isEnabled() || qobject_cast<QHeaderView*>(w))
            continue; // a table's headers are part of the table
        const bool named = !w->accessibleName().isEmpty() || labelled.contains(w);
        bool needsName = false;
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            needsName = button->text().remove('&').trimmed().isEmpty() && w->accessibleName().isEmpty();
        else if (qobject_cast<QLineEdit*>(w) && qobject_cast<QAbstractSpinBox*>(w->parentWidget()))
            needsName = false; // the line edit inside a spin box
        else if (qobject_cast<QLineEdit*>(w) && qobject_cast<QComboBox*>(w->parentWidget()))
            needsName = false; // the line edit inside an editable combo box
        else if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
                 qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QAbstractItemView*>(w) ||
                 qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTextEdit*>(w))
            needsName = !named;
        if (needsName)
            unnamed << QString::fromLatin1(w->metaObject()->className()) + "#" + w->objectName();
    }
    return unnamed;
}

// Controls that keyboard focus cannot reach (focus policy without Tab focus).
inline QStringList UnreachableControls(QWidget* window) {
    QStringList unreachable;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window) || !w->isEnabled() || qobject_cast<QHeaderView*>(w))
            continue;
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                             qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
                             qobject_cast<QAbstractItemView*>(w);
        // A radio button of a group is reached with the arrow keys from the one that takes Tab.
        bool groupReached = false;
        if (auto* radio = qobject_cast<QRadioButton*>(w); radio && radio->autoExclusive())
            for (QRadioButton* sibling :
                 w->parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly))
                groupReached = groupReached || (sibling->focusPolicy() & Qt::TabFocus);
        if (control && !groupReached && !(w->focusPolicy() & Qt::TabFocus) &&
            !qobject_cast<QLineEdit*>(w->focusProxy()))
            unreachable << QString::fromLatin1(w->metaObject()->className()) + "#" + w->objectName() + "(" +
                               (qobject_cast<QAbstractButton*>(w) ? qobject_cast<QAbstractButton*>(w)->text()
                                                                  : w->accessibleName()) +
                               ")";
    }
    return unreachable;
}

// Every control of `window` is named and reached by the keyboard, and its picture is saved. A QTest
// check: call it from a test function or a void helper of one.
inline void CheckWindow(QWidget& window, const QString& picture) {
    QVERIFY2(UnnamedControls(&window).isEmpty(), qPrintable(UnnamedControls(&window).join(", ")));
    QVERIFY2(UnreachableControls(&window).isEmpty(), qPrintable(UnreachableControls(&window).join(", ")));
    QVERIFY(!SaveWindowPicture(&window, picture).isEmpty());
}

} // namespace qmtest
