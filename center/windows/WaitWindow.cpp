#include "center/windows/WaitWindow.h"

#include "uikit/Ui.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

CDlgWait::CDlgWait(int* continueFlag, QWidget* owner)
    : QDialog(nullptr, Qt::Dialog), m_continue(continueFlag), m_owner(owner) {
    // Not a child of the owner: disabling the owner would disable this window's Cancel too.
    setObjectName(QStringLiteral("WaitWindow"));
    setWindowTitle(tr("Quillmark is working..."));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Processing file:"), this));
    m_current = new QLabel(this);
    m_current->setObjectName(QStringLiteral("CurrentFile"));
    m_current->setTextFormat(Qt::PlainText);
    m_current->setMinimumWidth(380);
    layout->addWidget(m_current);
    m_bar = new QProgressBar(this);
    m_bar->setAccessibleName(tr("Progress"));
    layout->addWidget(m_bar);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDlgWait::reject);
    if (m_owner) {
        m_owner->setEnabled(false);
        adjustSize();
        move(m_owner->geometry().center() - rect().center());
    }
    show();
    uikit::PumpMessages();
}

CDlgWait::~CDlgWait() {
    if (m_owner)
        m_owner->setEnabled(true);
}

void CDlgWait::SetCurrent(const std::string& path) {
    m_current->setText(QString::fromStdString(path));
}

void CDlgWait::setRange(int minimum, int maximum) {
    m_bar->setRange(minimum, maximum);
}

void CDlgWait::setPosition(int position) {
    m_bar->setValue(position);
}

int CDlgWait::position() const {
    return m_bar->value();
}

void CDlgWait::reject() {
    const uikit::Answer answer = uikit::MessageBox("If you are doing operation with archive, it can become "
                                                   "unreadable after breaking operation.\nAre you "
                                                   "sure you want to break operation?",
                                                   "Quillmark", uikit::Buttons::YesNo, uikit::Icon::Warning);
    if (answer != uikit::Answer::Yes)
        return;
    if (m_continue)
        *m_continue = 0;
    QDialog::reject();
}
