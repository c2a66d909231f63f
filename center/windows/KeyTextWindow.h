#pragma once

#include <QDialog>

#include <string>

class QPlainTextEdit;

// The key text window: shows a key's text to copy (export) or takes pasted key text (import).
class CDlgExpImpKey : public QDialog {
    Q_OBJECT
public:
    enum Direction { Export, Import };
    CDlgExpImpKey(Direction direction, const QString& title, const std::string& keyText = {},
                  QWidget* parent = nullptr);

    // The pasted text after OK in the import direction.
    const std::string& Text() const { return m_text; }
    QPlainTextEdit* Field() const { return m_field; }

    void accept() override;

private:
    Direction m_direction;
    std::string m_text;
    QPlainTextEdit* m_field;
};
