#pragma once

#include "shellkit/ShellWindows.h"
#include "shellkit/dialogs/PrefsPages.h"

#include <QDialog>

#include <vector>

class QDialogButtonBox;
class QListWidget;
class QStackedWidget;

namespace shellkit {

// The preferences: the pages in a list on the left, OK, Cancel, Apply and Help. OK and Apply check
// every page first and write nothing while one is invalid.
class CPrefsDialog : public QDialog {
    Q_OBJECT
public:
    CPrefsDialog(const PrefsRequest& request, QWidget* parent = nullptr);
    ~CPrefsDialog() override;

    int PageCount() const { return static_cast<int>(m_pages.size()); }
    CPrefsPage* Page(int index) const { return m_pages[static_cast<std::size_t>(index)]; }
    int CurrentPage() const;
    void ShowPage(int index);
    // Checks every page, then saves them all; false when a page refused its input or a value
    // could not be written (the message was shown).
    bool Apply();

    void accept() override;

private:
    std::vector<CPrefsPage*> m_pages;
    PrefsContext m_context;
    QListWidget* m_list;
    QStackedWidget* m_stack;
    QDialogButtonBox* m_buttons;
};

} // namespace shellkit
