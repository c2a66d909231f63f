#pragma once

#include "shellkit/ShellWindows.h"

namespace center {

// The session key as the preferences see it: held by keeper in its shared store, set and cleared
// through the task library's scheduler link.
class CSessionKeyLink : public shellkit::ISessionKeyHolder {
public:
    bool IsSet() override;
    bool Set(const SESSIONKEY_& key, std::string& error) override;
    void Clear() override;
};

} // namespace center
