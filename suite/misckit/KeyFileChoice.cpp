// misckit::GTK: the key file of the session key, chosen or created here.
#include "misckit/SessionKey.h"

#include "corecrypt/KeyFile.h"
#include "misckit/ErrorList.h"
#include "misckit/Registry.h"
#include "uikit/Ui.h"

#include <cctype>
#include <cstring>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace misckit {
namespace {

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool EndsWithQmk(const std::string& path) {
    if (path.size() < 4)
        return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".qmk";
}

void Tell(const std::string& text, const char* caption = szAppName,
          uikit::Icon icon = uikit::Icon::Information) {
    uikit::MessageBox(text, caption, uikit::Buttons::OK, icon);
}

std::optional<std::string> ChooseExisting() {
    while (true) {
        uikit::FileRequest request;
        request.title = "Select key file";
        request.filter = "Quillmark key files (*.qmk)|*.qmk|All Files (*.*)|*.*||";
        request.defaultExtension = "qmk";
        request.initialPath = GetKeyFolder();
        request.flags = uikit::kFileMustExist | uikit::kPathMustExist;
        auto files = uikit::ChooseFiles(request);
        if (!files || files->empty())
            return std::nullopt;
        if (IsRegularFile(files->front()))
            return files->front();
        Tell("Please select the existing key file.");
    }
}

std::optional<std::string> CreateNew() {
    while (true) {
        uikit::FileRequest request;
        request.save = true;
        request.title = "Create key file";
        request.filter = "Quillmark key files (*.qmk)|*.qmk||";
        request.defaultExtension = "qmk";
        request.initialPath = GetKeyFolder();
        request.flags = uikit::kPathMustExist;
        auto files = uikit::ChooseFiles(request);
        if (!files || files->empty())
            return std::nullopt;
        std::string path = files->front();
        if (!EndsWithQmk(path))
            path += ".qmk";
        // A key file that exists may be the only key of files encrypted with it: a new key is
        // never written over it.
        if (Exists(path)) {
            Tell("A file named\n" + path +
                 "\nexists already. Key files are never replaced; please choose another name.");
            continue;
        }
        if (path.size() > static_cast<std::size_t>(kSessionKeyMaxPath)) {
            Tell("The path of the key file is too long.");
            continue;
        }
        char error[512] = {};
        if (!CreateKeyFile(path.c_str(), error, sizeof error)) {
            Tell(error[0] ? error : "The key file cannot be created.", "Error", uikit::Icon::Warning);
            return std::nullopt;
        }
        return path;
    }
}

} // namespace

int GTK(SESSIONKEY_* key, unsigned char mode) {
    if (!key)
        return 0;
    const uikit::Answer answer = uikit::MessageBox(
        "Do you want to use an existing key file?\n\nYes: select an existing key file (*.qmk).\n"
        "No: create a new key file.",
        szAppName, uikit::Buttons::YesNoCancel, uikit::Icon::Question);
    std::optional<std::string> path;
    if (answer == uikit::Answer::Yes)
        path = ChooseExisting();
    else if (answer == uikit::Answer::No)
        path = CreateNew();
    if (!path)
        return 0;
    if (path->size() > static_cast<std::size_t>(kSessionKeyMaxPath)) {
        Tell("The path of the key file is too long.");
        return 0;
    }
    WipeSessionKey(*key);
    key->nKind = kSessionKeyFile;
    key->nMode = mode;
    std::memcpy(key->szKeyFile, path->c_str(), path->size() + 1);
    return 1;
}

} // namespace misckit
