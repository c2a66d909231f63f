#include "wizkit/QuickStart.h"

#include "corecrypt/KeyFile.h"
#include "corecrypt/Paths.h"
#include "misckit/Registry.h"
#include "platform/XdgPaths.h"
#include "uikit/Ui.h"

#include <algorithm>

namespace wizkit {
namespace {

IQuickStartWindow* g_window = nullptr;
const char kOffered[] = "QuickStartOffered";

KeyPairGenerator& Generator() {
    static KeyPairGenerator generator;
    return generator;
}

std::string WithSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder == "/" ? folder : folder + "/";
}

CQMRegistry ControlCenter() {
    return CQMRegistry(RegRoot::CurrentUser, encreg::szRegKeyman);
}

} // namespace

IQuickStartWindow* SetQuickStartWindow(IQuickStartWindow* window) {
    IQuickStartWindow* previous = g_window;
    g_window = window;
    return previous;
}

int ShowQuickStart(void* owner) {
    if (!g_window) {
        uikit::MessageBox("This window needs the desktop. Start Quillmark from a graphical session.",
                          "Quillmark", uikit::Buttons::OK, uikit::Icon::Information);
        return 0;
    }
    MarkQuickStartOffered();
    return g_window->Run(owner);
}

bool QuickStartPending() {
    unsigned char offered = 0;
    return !ControlCenter().ReadBYTEEx(kOffered, offered) || !offered;
}

void MarkQuickStartOffered() {
    ControlCenter().WriteBYTE(kOffered, 1);
}

void SetKeyPairGenerator(KeyPairGenerator generator) {
    Generator() = std::move(generator);
}

const KeyPairGenerator& GetKeyPairGenerator() {
    return Generator();
}

bool ApplyKeyFolder(const std::string& folder, std::string& error) {
    if (folder.empty() || folder.front() != '/') {
        error = "Please give the full path of the key folder, beginning with \"/\".";
        return false;
    }
    std::string bare = folder;
    while (bare.size() > 1 && bare.back() == '/')
        bare.pop_back();
    std::string why;
    if (!platform::MakeFolders(bare, 0700, why)) {
        error = "Cannot create the key folder \"" + folder + "\": " + why;
        return false;
    }
    if (!CQMRegistry().WriteString(encreg::szKeyFolder, WithSlash(folder))) {
        error = "Cannot save the key folder in the settings.";
        return false;
    }
    return true;
}

bool CreateFirstKeyFile(const std::string& path, std::string& error) {
    if (path.empty() || path.front() != '/') {
        error = "Please give the full path of the key file.";
        return false;
    }
    if (corecrypt::PathExists(path)) {
        error = "The file \"" + path + "\" exists already; choose another name.";
        return false;
    }
    char text[1000] = "";
    if (!CreateKeyFile(path.c_str(), text, sizeof text)) {
        error = text;
        return false;
    }
    return true;
}

bool SaveLocations(const std::vector<std::string>& folders, std::string& error) {
    std::vector<std::string> kept;
    for (const auto& f : folders) {
        if (f.empty() || f.front() != '/') {
            error = "\"" + f + "\" is not a full path.";
            return false;
        }
        kept.push_back(WithSlash(f));
    }
    // A folder inside another listed one is scanned with it.
    std::vector<std::string> outer;
    for (const auto& f : kept) {
        const bool inside = std::any_of(kept.begin(), kept.end(), [&](const std::string& other) {
            return other != f && f.compare(0, other.size(), other) == 0;
        });
        if (!inside && std::find(outer.begin(), outer.end(), f) == outer.end())
            outer.push_back(f);
    }
    if (outer.size() > static_cast<std::size_t>(kMaxLocations)) {
        error = "10 is the maximal number of the destination items.";
        return false;
    }
    const CQMRegistry settings = ControlCenter();
    for (int i = 0; i < kMaxLocations; ++i) {
        const std::string value =
            i < static_cast<int>(outer.size()) ? outer[static_cast<std::size_t>(i)] : "";
        if (!settings.WriteString("Location " + std::to_string(i + 1), value)) {
            error = "Cannot save the locations in the settings.";
            return false;
        }
    }
    return true;
}

std::vector<std::string> ReadLocations() {
    std::vector<std::string> folders;
    const CQMRegistry settings = ControlCenter();
    for (int i = 1; i <= kMaxLocations; ++i) {
        std::string value;
        if (settings.ReadStringEx("Location " + std::to_string(i), value) && !value.empty())
            folders.push_back(value);
    }
    return folders;
}

} // namespace wizkit
