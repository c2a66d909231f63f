#include "center/core/StartupCommand.h"

#include <strings.h>
#include <sys/stat.h>

namespace center {
namespace {

std::string Unquoted(std::string text) {
    while (!text.empty() && text.front() == '"')
        text.erase(text.begin());
    while (!text.empty() && text.back() == '"')
        text.pop_back();
    return text;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool EndsWith(const std::string& path, const char* extension) {
    return path.size() >= 4 && strcasecmp(path.c_str() + path.size() - 4, extension) == 0;
}

} // namespace

StartupCommand ClassifyCommandLine(const std::vector<std::string>& arguments) {
    StartupCommand command;
    if (arguments.empty())
        return command;
    if (arguments.front() == "--wizard") {
        command.kind = StartupCommand::EncryptionWizard;
        for (std::size_t i = 1; i < arguments.size(); ++i)
            command.paths.push_back(Unquoted(arguments[i]));
        return command;
    }
    std::vector<std::string> args;
    for (const auto& a : arguments)
        args.push_back(Unquoted(a));
    if (args.size() == 1 && !Exists(args.front())) {
        if (strcasecmp(args.front().c_str(), "prefs") == 0)
            command.kind = StartupCommand::Preferences;
        else if (strcasecmp(args.front().c_str(), "qs") == 0)
            command.kind = StartupCommand::QuickStart;
        return command;
    }
    if (args.size() == 1 && IsFile(args.front()) && EndsWith(args.front(), ".qms")) {
        command.paths = args;
        return command;
    }
    StartupCommand files;
    files.kind = StartupCommand::OpenFiles;
    for (const auto& path : args) {
        if (IsFile(path) && EndsWith(path, ".qmp"))
            files.paths.push_back(path);
        else if (IsFile(path) && EndsWith(path, ".qma"))
            files.archives.push_back(path);
        else
            return command; // one argument of another kind: the control center
    }
    return files;
}

} // namespace center
