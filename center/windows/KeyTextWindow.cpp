#include "center/windows/KeyTextWindow.h"

#include "misckit/Help.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

CDlgExpImpKey::CDlgExpImpKey(Direction direction, const QString& title, const std::string& keyText,
                             QWidget* parent)
    : QDialog(parent), m_direction(direction) {
    setObjectName(QStringLiteral("KeyTextWindow"));
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    m_field = new QPlainTextEdit(this);
    m_field->setObjectName(QStringLiteral("KeyText"));
    m_field->setAccessibleName(tr("Key text"));
    m_field->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_field->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_field->setTabChangesFocus(true);
    if (direction == Export) {
        m_field->setPlainText(QString::fromStdString(keyText));
        m_field->setReadOnly(true);
        m_field->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    }
    layout->addWidget(m_field);
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgExpImpKey::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this,
            [] { misckit::ShowHelpTopic("QMhelp/kmmanexpimpkeys.htm"); });
    resize(560, 400);
}

void CDlgExpImpKey::accept() {
    if (m_direction == Import)
        m_text = m_field->toPlainText().toStdString();
    QDialog::accept();
}
