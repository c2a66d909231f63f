#include "misckit/Startup.h"

#include "misckit/Registry.h"
#include "platform/XdgPaths.h"

#include <sys/stat.h>

namespace misckit {
namespace {

const char kFirstRunMark[] = "FirstRunDone";

bool MakePrivateFolder(const std::string& path) {
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    std::string error;
    return platform::MakeFolders(folder, 0700, error);
}

void ClosePermissions(const std::string& path, mode_t mode) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode) && (st.st_mode & 077))
        ::chmod(path.c_str(), mode);
}

} // namespace

int IsFirstRun() {
    unsigned char done = 0;
    return CQMRegistry().ReadBYTEEx(kFirstRunMark, done) && done ? 0 : 1;
}

int InitFirstRun() {
    bool ok = MakePrivateFolder(DataFolder());
    const CQMRegistry reg;
    // Paths are stored as their defaults, so that the user sees them in the preferences.
    for (const char* name :
         {encreg::szKeyFolder, encreg::szFileSchedule, encreg::szPubKeyFile, encreg::szPrivKeyFile}) {
        if (reg.ValueExists(name))
            continue;
        std::string value;
        reg.ReadStringEx(name, value);
        ok = reg.WriteString(name, value) && ok;
    }
    const struct {
        const char* name;
        unsigned char value;
    } bytes[] = {
        {"Mode", reg.GetMode()},
        {"InOverwrite", reg.GetInOverwrite()},
        {"OutOverwrite", reg.GetOutOverwrite()},
        {"RecDirs", reg.GetRecDirs()},
        {"Compress", reg.GetCompress()},
        {"RestoreTime", reg.GetRestoreTime()},
        {encreg::szNoMes, 0},
    };
    for (const auto& b : bytes)
        if (!reg.ValueExists(b.name))
            ok = reg.WriteBYTE(b.name, b.value) && ok;
    if (!reg.ValueExists("ExtsNotCompress"))
        ok = reg.WriteString("ExtsNotCompress", reg.GetExtsNotCompress()) && ok;
    ok = MakePrivateFolder(GetKeyFolder().empty() ? DataFolder() + "/keys" : GetKeyFolder()) && ok;
    if (ok)
        ok = reg.WriteBYTE(kFirstRunMark, 1);
    return ok ? 1 : 0;
}

int StartupCheck(int) {
    bool ok = MakePrivateFolder(DataFolder());
    const std::string keys = GetKeyFolder(); // creates a stored folder that went missing
    if (!keys.empty()) {
        struct stat st {};
        ok = ::stat(keys.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ok;
    }
    ClosePermissions(platform::ConfigHome() + "/Quillmark", 0700);
    ClosePermissions(CQMRegistry::SettingsFilePath(), 0600);
    return ok ? 1 : 0;
}

} // namespace misckit
