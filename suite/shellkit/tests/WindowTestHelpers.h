#pragma once

// Finding and working the controls of a window as a person would: by the label beside them, by
// their text, with the keyboard.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace wintest {

inline QString Plain(QString text) {
    return text.remove('&');
}

// The control that the label starting with `label` names.
template <class T>
T* ByLabel(QWidget* window, const QString& label) {
    for (QLabel* l : window->findChildren<QLabel*>())
        if (Plain(l->text()).startsWith(label) && l->buddy() && l->buddy()->isVisibleTo(window))
            if (auto* w = qobject_cast<T*>(l->buddy()))
                return w;
    return nullptr;
}

// A button or check box by its text, without the mnemonic mark, or by its accessible name.
template <class T = QAbstractButton>
T* ByText(QWidget* window, const QString& text) {
    for (T* b : window->findChildren<T*>())
        if ((Plain(b->text()) == text || b->accessibleName() == text) && b->isVisibleTo(window))
            return b;
    return nullptr;
}

// Selects everything in the field and types `text` over it.
inline void TypeInto(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Delete);
    else
        QTest::keyClicks(edit, text);
}

// Sets a check box with the space bar.
inline void SetChecked(QAbstractButton* box, bool on) {
    if (box->isChecked() != on) {
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Space);
    }
}

inline void Press(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

inline QPushButton* StandardButton(QWidget* window, QDialogButtonBox::StandardButton which) {
    for (QDialogButtonBox* box : window->findChildren<QDialogButtonBox*>())
        if (QPushButton* b = box->button(which))
            return b;
    return nullptr;
}

// Runs `act` on the modal window that opens next (from a timer, while exec() runs).
inline void WhenModalOpens(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        }
    });
    timer->start();
}

} // namespace wintest
