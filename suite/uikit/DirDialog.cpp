#include "uikit/DirDialog.h"

#include "uikit/Ui.h"

bool CDirDialog::DoBrowse() {
    uikit::FolderRequest request;
    request.windowTitle = m_strWindowTitle;
    request.title = m_strTitle;
    request.initialPath = m_strInitialDir;
    auto chosen = uikit::ChooseFolder(request);
    if (!chosen || chosen->empty())
        return false;
    std::string path = *chosen;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    m_strPath = path;
    return true;
}
