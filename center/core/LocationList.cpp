#include "center/core/LocationList.h"

#include "misckit/Registry.h"

#include <algorithm>
#include <cstdio>

namespace center {

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

std::string Format(const char* format, const std::string& a, const std::string& b = {}) {
    const int size = std::snprintf(nullptr, 0, format, a.c_str(), b.c_str());
    std::string out(static_cast<std::size_t>(size) + 1, '\0');
    std::snprintf(out.data(), out.size(), format, a.c_str(), b.c_str());
    out.resize(static_cast<std::size_t>(size));
    return out;
}

std::string ValueName(std::size_t i) {
    return "Location " + std::to_string(i + 1);
}

} // namespace

bool AddLocation(std::vector<std::string>& locations, std::string path, std::string& message) {
    if (locations.size() >= kMaxLocations) {
        message = kLocationsFull;
        return false;
    }
    if (path.empty() || path.back() != '/')
        path += '/';
    for (const std::string& item : locations) {
        if (item == path) {
            message = Format("This path already exists:\n%s", path);
            return false;
        }
        if (StartsWith(path, item)) {
            message = Format("Path %s\nalready contains path %s", item, path);
            return false;
        }
    }
    std::erase_if(locations, [&](const std::string& item) { return StartsWith(item, path); });
    locations.push_back(path);
    message.clear();
    return true;
}

std::vector<std::string> ReadLocations() {
    const CQMRegistry reg(RegRoot::CurrentUser, encreg::szRegKeyman);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < kMaxLocations; ++i) {
        std::string value;
        if (!reg.ReadStringEx(ValueName(i), value) || value.empty())
            break;
        out.push_back(value);
    }
    return out;
}

bool WriteLocations(const std::vector<std::string>& locations) {
    const CQMRegistry reg(RegRoot::CurrentUser, encreg::szRegKeyman);
    bool ok = true;
    for (std::size_t i = 0; i < kMaxLocations; ++i)
        ok = reg.WriteString(ValueName(i), i < locations.size() ? locations[i] : std::string()) && ok;
    return ok;
}

} // namespace center
