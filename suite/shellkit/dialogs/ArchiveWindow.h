#pragma once

#include "shellkit/views/ArchiveEntryModel.h"

#include <QDialog>

#include <functional>

#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
struct CALLBACKSTRUCT_;

namespace shellkit {

// The window of one encrypted archive (".qma"): its entries, and the commands to decrypt the
// selected entries or all, decrypt and remove, add files and delete entries. It asks for the
// password or key file once, when it opens.
class CArchiveWindow : public QDialog {
    Q_OBJECT
public:
    CArchiveWindow(const std::string& archive, QWidget* parent = nullptr);
    ~CArchiveWindow() override;

    // Asks for the key until the archive opens; false when the user gave up.
    bool Open();
    bool Reload();

    enum class Extract { Selected, All, AndRemove };
    bool DecryptEntries(Extract what);
    bool AddFiles();
    bool DeleteSelected();

    CArchiveEntryModel* Model() const { return m_model; }
    QTableView* View() const { return m_view; }
    const std::vector<std::string>& Written() const { return m_written; }

protected:
    void reject() override;

private:
    std::vector<std::string> SelectedPaths() const;
    bool OutputFolder(std::string& folder);
    // Runs an engine call with the progress bar and Cancel; reports CQMException as a message.
    bool Run(const QString& phase, int total,
             const std::function<bool(CALLBACKSTRUCT_&, std::string&)>& work);
    void UpdateButtons();

    std::string m_archive;
    std::string m_key;
    bool m_keyFile = false;
    std::vector<std::string> m_written;
    CArchiveEntryModel* m_model;
    QSortFilterProxyModel* m_sorted;
    QTableView* m_view;
    QLineEdit* m_folder;
    QProgressBar* m_bar;
    QLabel* m_status;
    QPushButton* m_decryptSelected;
    QPushButton* m_decryptAll;
    QPushButton* m_decryptRemove;
    QPushButton* m_add;
    QPushButton* m_delete;
    QPushButton* m_close;
    bool m_running = false;
    int* m_continue = nullptr;
};

} // namespace shellkit
