#pragma once

#include <QDialog>

#include <string>

class QLineEdit;

// "Encryption keys folder": the folder that holds the user's key files. OK needs an existing
// folder; Cancel on first use stores the default folder so that the scan has one.
class CDlgKeyFolder : public QDialog {
    Q_OBJECT
public:
    explicit CDlgKeyFolder(QWidget* parent = nullptr);

    // The folder chosen (OK), or the default stored by a first Cancel; empty otherwise.
    const std::string& Folder() const { return m_folder; }
    QLineEdit* Field() const { return m_field; }

    void accept() override;
    void reject() override;

private:
    std::string m_folder;
    std::string m_default;
    bool m_stored; // a key folder was stored before the window opened
    QLineEdit* m_field;
};
