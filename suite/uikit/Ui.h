#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// Every question the suite asks the user goes through these services. A back-end chosen at start
// answers them: real Qt dialogs, a headless one for keeper and the command-line tools, or a
// scripted one in tests.
namespace uikit {

enum class Buttons { OK, OKCancel, YesNo, YesNoCancel, RetryCancel };
enum class Icon { None, Information, Warning, Error, Question };
enum class Answer { OK, Cancel, Yes, No, Retry };

struct Message {
    std::string text;
    std::string caption;
    Buttons buttons = Buttons::OK;
    Icon icon = Icon::None;
    // The answer that Enter gives, and the one a back-end that cannot ask takes. Without one,
    // the safe answer: Cancel, else No, else OK.
    std::optional<Answer> defaultAnswer;
    // When given, the box offers a "Don't show this message again" check box and the back-end
    // stores whether it was ticked here. Back-ends that cannot show one leave it false.
    bool* dontShowAgain = nullptr;
};

// The answer a back-end that cannot ask gives to `message`.
Answer SafeAnswer(const Message& message);

enum FileFlags : unsigned {
    kFileMustExist = 1u << 0,
    kPathMustExist = 1u << 1,
    kOverwritePrompt = 1u << 2,
    kMultiSelect = 1u << 3,
};

struct FileRequest {
    bool save = false;
    std::string title;
    // Pairs of description and patterns in the "|" form: "Key files (*.qmk)|*.qmk|All files|*.*||".
    std::string filter;
    std::string defaultExtension; // without the dot; added to a saved name that has none
    std::string initialPath;
    unsigned flags = 0;
};

struct FilterEntry {
    std::string description;
    std::vector<std::string> patterns;
};
// Splits a "|" filter into its entries; patterns inside one entry are separated by ";".
std::vector<FilterEntry> ParseFilter(const std::string& filter);

struct FolderRequest {
    std::string windowTitle;
    std::string title; // the explanation shown above the folder tree
    std::string initialPath;
};

struct TextRequest {
    std::string prompt;
    std::string caption;
    bool hidden = false; // a password: no echo
    std::string initialText;
};

class IUiBackend {
public:
    virtual ~IUiBackend() = default;
    virtual Answer showMessage(const Message& message) = 0;
    // The chosen paths, or nothing when the user cancelled.
    virtual std::optional<std::vector<std::string>> chooseFiles(const FileRequest& request) = 0;
    virtual std::optional<std::string> chooseFolder(const FolderRequest& request) = 0;
    virtual std::optional<std::string> askText(const TextRequest& request) = 0;
    // Lets the windows handle pending input during long work.
    virtual void pumpMessages() = 0;
    virtual void setWaitCursor(bool on) = 0;
    // Shows a list of lines under a title (the error list after a scan or a task run) and returns
    // when the user closed it. The default writes the lines into one message.
    virtual void showList(const std::string& title, const std::vector<std::string>& lines);
    // Opens a web page or a local file URL in the user's browser. False when nothing could be
    // opened; the default cannot open anything.
    virtual bool openUrl(const std::string& url);
};

// The back-end in use; a headless one until SetBackend() is called. SetBackend does not take
// ownership and returns the previous back-end.
IUiBackend& Backend();
IUiBackend* SetBackend(IUiBackend* backend);

// Installs a back-end for the lifetime of the object (tests, nested tools).
class ScopedBackend {
public:
    explicit ScopedBackend(IUiBackend& backend) : m_previous(SetBackend(&backend)) {}
    ~ScopedBackend() { SetBackend(m_previous); }
    ScopedBackend(const ScopedBackend&) = delete;
    ScopedBackend& operator=(const ScopedBackend&) = delete;

private:
    IUiBackend* m_previous;
};

Answer ShowMessage(const Message& message);
Answer MessageBox(const std::string& text, const std::string& caption, Buttons buttons = Buttons::OK,
                  Icon icon = Icon::None);
std::optional<std::vector<std::string>> ChooseFiles(const FileRequest& request);
std::optional<std::string> ChooseFolder(const FolderRequest& request);
std::optional<std::string> AskText(const TextRequest& request);
void PumpMessages();
void ShowList(const std::string& title, const std::vector<std::string>& lines);
bool OpenUrl(const std::string& url);

// Shows the busy cursor while it lives; nests.
class WaitCursor {
public:
    WaitCursor() { Backend().setWaitCursor(true); }
    ~WaitCursor() { Backend().setWaitCursor(false); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace uikit
