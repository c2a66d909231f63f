#pragma once

#include <QString>
#include <QToolButton>

namespace shellkit {

// The "..." button beside a path field; its accessible name says what it chooses.
inline QToolButton* MakeChooserButton(QWidget* parent, const QString& what) {
    auto* button = new QToolButton(parent);
    button->setText(QStringLiteral("..."));
    button->setAccessibleName(what);
    button->setToolTip(what);
    return button;
}

} // namespace shellkit
