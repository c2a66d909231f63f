#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QListWidget;
class QPushButton;

// "Location of encrypted files": up to ten folders that the store scan searches, none inside
// another. OK writes them as "Location 1" to "Location 10".
class CDlgLocations : public QDialog {
    Q_OBJECT
public:
    explicit CDlgLocations(QWidget* parent = nullptr);

    // Runs the window; on OK writes the list and returns QDialog::Accepted. A failed write throws
    // CQMException with code 2.
    int DoModal();
    const std::vector<std::string>& Locations() const { return m_locations; }

    // The window's commands, as its buttons run them.
    void OnAdd();
    void OnRemove();

private:
    void Fill();

    std::vector<std::string> m_locations;
    QListWidget* m_list;
    QPushButton* m_remove;
    QPushButton* m_ok;
};
