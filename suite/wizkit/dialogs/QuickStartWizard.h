#pragma once

#include "wizkit/QuickStart.h"

#include <QWizard>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace wizkit {

// The quick start. Next applies a page's step; "Skip" moves on without it; every step can be
// done later from the control center.
class CQuickStartWizard : public QWizard {
    Q_OBJECT
public:
    enum PageId { kKeyFolderPage, kKeyFilePage, kLocationsPage, kKeysPage };

    explicit CQuickStartWizard(QWidget* parent = nullptr);
    bool validateCurrentPage() override;
    // What the steps did, for the last page and the tests.
    QStringList Done() const { return m_done; }

private:
    void Skip();
    bool ApplyPage(int id);

    bool m_skipping = false;
    QStringList m_done;
    QLineEdit* m_folder;
    QCheckBox* m_createKey;
    QLineEdit* m_keyFile;
    QListWidget* m_locations;
    QPushButton* m_generate;
    QLabel* m_summary;
};

// The Qt window of the quick start: install with SetQuickStartWindow().
class QtQuickStartWindow : public IQuickStartWindow {
public:
    int Run(void* owner) override;
};

} // namespace wizkit
