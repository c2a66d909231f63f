#include "platform/Autostart.h"

#include "platform/AtomicFile.h"
#include "platform/XdgPaths.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::string QuoteArgument(const std::string& arg) {
    const bool plain = !arg.empty() && arg.find_first_of(" \t\n\"'\\><~|&;$*?#()`=%") == std::string::npos;
    if (plain)
        return arg;
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// In a desktop file's string values a backslash is itself escaped once more.
std::string EscapeValue(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string UnescapeValue(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            ++i;
            out += value[i] == 'n' ? '\n' : value[i];
        } else {
            out += value[i];
        }
    }
    return out;
}

} // namespace

std::string AutostartPath(const AutostartEntry& entry) {
    return ConfigHome() + "/autostart/" + entry.fileName + ".desktop";
}

std::string AutostartExecLine(const std::string& program, const std::vector<std::string>& args) {
    std::string line = QuoteArgument(program);
    for (const auto& a : args)
        line += " " + QuoteArgument(a);
    return line;
}

bool WriteAutostartEntry(const AutostartEntry& entry, const std::string& program,
                         const std::vector<std::string>& args, std::string& error) {
    const std::string dir = ConfigHome() + "/autostart";
    if (!MakeFolders(dir, 0700, error))
        return false;
    const std::string text = "[Desktop Entry]\nType=Application\nName=" + entry.displayName +
                             "\nExec=" + EscapeValue(AutostartExecLine(program, args)) +
                             "\nTerminal=false\nNoDisplay=true\nX-GNOME-Autostart-enabled=true\n";
    return WriteFileAtomically(AutostartPath(entry), text, 0600, error);
}

bool RemoveAutostartEntry(const AutostartEntry& entry, std::string& error) {
    const std::string path = AutostartPath(entry);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        error = "Cannot remove " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool ReadAutostartEntry(const AutostartEntry& entry, std::string& execLine) {
    std::ifstream in(AutostartPath(entry));
    std::string line;
    bool inEntry = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '[')
            inEntry = line == "[Desktop Entry]";
        else if (inEntry && line.rfind("Exec=", 0) == 0) {
            execLine = UnescapeValue(line.substr(5));
            return true;
        }
    }
    return false;
}

} // namespace platform
