#pragma once

#include "shellkit/ShellWindows.h"

class QWidget;

namespace shellkit {

// The Qt windows of shellkit, for programs with a display: install with SetShellWindows(). Each
// window is modal and parented to `owner` (null: the active window).
class QtShellWindows : public IShellWindows {
public:
    explicit QtShellWindows(QWidget* owner = nullptr) : m_owner(owner) {}
    int ShowPreferences(const PrefsRequest& request) override;
    int RunEncryptionWizard(const EncWizRequest& request, EncWizResult& result) override;
    int OpenDecryptWindow(const std::vector<std::string>& files) override;
    int OpenArchiveWindow(const std::string& archive) override;

private:
    QWidget* Owner() const;
    QWidget* m_owner;
};

} // namespace shellkit
