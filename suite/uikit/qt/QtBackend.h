#pragma once

#include "uikit/Ui.h"

class QWidget;

namespace uikit {

// Real dialogs: message boxes, file and folder choosers and text prompts in Qt Widgets. Needs a
// QApplication. Dialogs are parented to the active window, or to the given default parent.
class QtBackend : public IUiBackend {
public:
    explicit QtBackend(QWidget* defaultParent = nullptr) : m_parent(defaultParent) {}
    void setDefaultParent(QWidget* parent) { m_parent = parent; }

    Answer showMessage(const Message& message) override;
    std::optional<std::vector<std::string>> chooseFiles(const FileRequest& request) override;
    std::optional<std::string> chooseFolder(const FolderRequest& request) override;
    std::optional<std::string> askText(const TextRequest& request) override;
    void pumpMessages() override;
    void setWaitCursor(bool on) override;
    void showList(const std::string& title, const std::vector<std::string>& lines) override;
    bool openUrl(const std::string& url) override;

private:
    QWidget* parent() const;
    QWidget* m_parent;
};

// The Qt file-dialog filter ("Key files (*.qmk);;All files (*)") for a "|" filter.
std::string ToQtFilter(const std::string& filter);

} // namespace uikit
