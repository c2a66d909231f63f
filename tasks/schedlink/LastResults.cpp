#include "tasks/schedlink/LastResults.h"

#include "platform/AtomicFile.h"
#include "platform/FileLock.h"
#include "platform/XdgPaths.h"

#include <charconv>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>

namespace tasksched {

namespace {

constexpr std::string_view kHeading = "Quillmark task results 1";

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text.substr(0, kMaxErrorText)) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool Unescape(std::string_view text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            return false;
        switch (text[i]) {
        case '\\':
            out += '\\';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            return false;
        }
    }
    return true;
}

template <typename T>
bool Number(std::string_view field, T& value) {
    if (field.empty())
        return false;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    return ec == std::errc() && end == field.data() + field.size();
}

bool ParseLine(std::string_view line, TaskResult& result) {
    std::string_view fields[4];
    for (int i = 0; i < 3; ++i) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos)
            return false;
        fields[i] = line.substr(0, tab);
        line.remove_prefix(tab + 1);
    }
    fields[3] = line;
    return Number(fields[0], result.id) && result.id != 0 && Number(fields[1], result.time) &&
           Number(fields[2], result.errors) && result.errors >= 0 && fields[3].size() <= 4 * kMaxErrorText &&
           Unescape(fields[3], result.firstError);
}

} // namespace

std::string LastResultsPath() {
    return platform::StateHome() + "/Quillmark/task-results";
}

std::string FormatLastResults(const TaskResults& results) {
    std::string text(kHeading);
    text += '\n';
    for (const auto& [id, r] : results)
        text += std::to_string(id) + '\t' + std::to_string(r.time) + '\t' + std::to_string(r.errors) + '\t' +
                Escape(r.firstError) + '\n';
    return text;
}

bool ParseLastResults(std::string_view text, TaskResults& results, std::string& error) {
    results.clear();
    if (text.size() > kMaxResultsFile) {
        error = "the file is larger than " + std::to_string(kMaxResultsFile) + " bytes";
        return false;
    }
    std::size_t lineNo = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            error = "line " + std::to_string(lineNo + 1) + " is not complete";
            return false;
        }
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (lineNo++ == 0) {
            if (line != kHeading) {
                error = "this is not a task results file";
                return false;
            }
            continue;
        }
        TaskResult result;
        if (!ParseLine(line, result)) {
            error = "line " + std::to_string(lineNo) + " is damaged";
            return false;
        }
        if (!results.emplace(result.id, result).second) {
            error = "line " + std::to_string(lineNo) + " repeats task " + std::to_string(result.id);
            return false;
        }
    }
    if (lineNo == 0) {
        error = "the file is empty";
        return false;
    }
    return true;
}

bool ReadLastResults(const std::string& path, TaskResults& results, std::string& error) {
    results.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return true; // never written yet
    std::string text;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kMaxResultsFile)
            break;
    }
    if (!ParseLastResults(text, results, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

namespace {

// Reads, changes and replaces the file under its lock. What is readable of a damaged file is kept.
bool ChangeLastResults(const std::string& path, const std::function<void(TaskResults&)>& change,
                       std::string& error) {
    const std::string folder = path.substr(0, path.rfind('/'));
    if (!folder.empty() && !platform::MakeFolders(folder, 0700, error))
        return false;
    platform::FileLock lock;
    if (!lock.Lock(path + ".lock", platform::FileLock::Wait::UntilFree, error))
        return false;
    TaskResults results;
    std::string damage;
    ReadLastResults(path, results, damage);
    change(results);
    return platform::WriteFileAtomically(path, FormatLastResults(results), 0600, error);
}

} // namespace

bool RecordLastResults(const std::string& path, const std::vector<TaskResult>& fresh, std::string& error) {
    return ChangeLastResults(
        path,
        [&fresh](TaskResults& results) {
            for (const TaskResult& result : fresh) {
                auto [it, added] = results.emplace(result.id, result);
                if (!added && it->second.time <= result.time)
                    it->second = result;
            }
        },
        error);
}

bool ForgetLastResults(const std::string& path, const std::vector<std::uint32_t>& ids, bool all,
                       std::string& error) {
    std::ifstream exists(path);
    if (!exists)
        return true;
    return ChangeLastResults(
        path,
        [&](TaskResults& results) {
            if (all)
                results.clear();
            for (std::uint32_t id : ids)
                results.erase(id);
        },
        error);
}

std::string DescribeResult(const TaskResult* result) {
    if (!result)
        return "never run";
    const std::time_t when = static_cast<std::time_t>(result->time);
    std::tm local{};
    localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::string text = stamp;
    if (result->errors == 0)
        return text + ", no errors";
    text += ", " + std::to_string(result->errors) + (result->errors == 1 ? " error" : " errors");
    if (!result->firstError.empty())
        text += ": " + result->firstError;
    return text;
}

} // namespace tasksched
