#pragma once

// Answers the next modal window a test opens. A check that fails inside a timer callback only
// leaves that callback, so the window it should have closed would stay open until the suite
// times out; here the callback reports what was wrong instead, the window is closed whatever
// happened, and the test checks problem() once the modal call has returned.

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace qmtest {

class ModalAnswer {
public:
    // `answer` gets the modal window and answers it (clicks a button); it returns an empty text
    // when the window was as expected, else what was wrong.
    explicit ModalAnswer(std::function<QString(QWidget*)> answer, int timeoutMs = 10000)
        : m_state(std::make_shared<State>()) {
        m_state->answer = std::move(answer);
        m_state->clock.start();
        auto state = m_state;
        auto* timer = new QTimer(qApp);
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, timer, [state, timer, timeoutMs] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) {
                if (state->clock.elapsed() > timeoutMs) {
                    state->problem = QStringLiteral("no modal window appeared");
                    timer->deleteLater();
                    timer->stop();
                }
                return;
            }
            timer->stop();
            timer->deleteLater();
            state->problem = state->answer(modal);
            state->answered = true;
            if (QApplication::activeModalWidget() == modal && modal->isVisible()) {
                if (state->problem.isEmpty())
                    state->problem = QStringLiteral("the answer left the window open");
                if (auto* dialog = qobject_cast<QDialog*>(modal))
                    dialog->reject();
                else
                    modal->close();
            }
        });
        timer->start();
    }

    bool answered() const { return m_state->answered; }
    // Empty when the window came, was as expected and was answered.
    QString problem() const {
        if (!m_state->answered && m_state->problem.isEmpty())
            return QStringLiteral("no modal window was answered");
        return m_state->problem;
    }

private:
    struct State {
        std::function<QString(QWidget*)> answer;
        QElapsedTimer clock;
        QString problem;
        bool answered = false;
    };
    std::shared_ptr<State> m_state;
};

// "expected X, got Y" when the two differ, else empty.
inline QString Differs(const QString& what, const QString& got, const QString& expected) {
    return got == expected ? QString()
                           : what + QStringLiteral(": expected \"") + expected +
                                 QStringLiteral("\", got \"") + got + QStringLiteral("\"");
}

} // namespace qmtest
