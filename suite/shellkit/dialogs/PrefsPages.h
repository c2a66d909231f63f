#pragma once

#include <QString>
#include <QWidget>

#include <memory>

namespace shellkit {

// What the preferences window shares with its pages.
struct PrefsContext {
    // The note on ECB and Triple-DES is shown once per window.
    bool discouragedNoteShown = false;
};

// One page of the preferences. Load reads the settings; Check refuses invalid input without
// writing anything; Save writes every value of the page through CQMRegistry.
class CPrefsPage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    virtual QString Title() const = 0;
    virtual void Load() = 0;
    // False with the message and the control to put the focus on.
    virtual bool Check(QString& error, QWidget*& field) {
        (void)error;
        (void)field;
        return true;
    }
    // False when a value could not be written.
    virtual bool Save() = 0;

signals:
    void changed();
};

// The page with the given number (see PrefsPage), or null for an unknown number.
std::unique_ptr<CPrefsPage> MakePrefsPage(int number, PrefsContext& context);

// The name the autostart entry of the scheduler is stored under (shared with the task library).
inline constexpr const char* kSchedulerStartupEntry = "Quillmark Scheduler";

} // namespace shellkit
