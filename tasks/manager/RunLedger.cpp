#include "tasks/manager/RunLedger.h"

#include <filesystem>
#include <sys/stat.h>

namespace jobkit {

void RunLedger::Clear() {
    m_files.clear();
    m_paths.clear();
    m_written.clear();
}

void RunLedger::Selected(const std::string& path) {
    platform::FileSnapshot snapshot;
    if (!platform::TakeSnapshot(path, snapshot))
        return;
    Selected(snapshot);
    m_paths.try_emplace(std::filesystem::path(path).lexically_normal().string(),
                        Id{snapshot.device, snapshot.inode});
}

void RunLedger::Selected(const platform::FileSnapshot& snapshot) {
    m_files.try_emplace(Id{snapshot.device, snapshot.inode}, Entry{false, snapshot});
}

void RunLedger::Secured(const platform::FileSnapshot& snapshot) {
    m_files[Id{snapshot.device, snapshot.inode}] = Entry{true, snapshot};
}

bool RunLedger::Unsecured(const platform::FileSnapshot& snapshot) const {
    const auto it = m_files.find(Id{snapshot.device, snapshot.inode});
    return it != m_files.end() && !it->second.secured;
}

bool RunLedger::MayRemove(const std::string& path, std::string& why) const {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISLNK(st.st_mode))
        return true;
    const platform::FileSnapshot now = platform::SnapshotOf(st);
    const auto it = m_files.find(Id{now.device, now.inode});
    if (it == m_files.end()) {
        const auto named = m_paths.find(std::filesystem::path(path).lexically_normal().string());
        if (named == m_paths.end())
            return true;
        why = "Another file took the place of one this run selected for encryption, so it is kept.";
        return false;
    }
    if (!it->second.secured) {
        why = "The file was not encrypted earlier in this run, so it is kept.";
        return false;
    }
    if (!(it->second.snapshot == now)) {
        why = "The file changed after it was encrypted in this run, so it is kept.";
        return false;
    }
    return true;
}

void RunLedger::Written(const std::string& path) {
    platform::FileSnapshot snapshot;
    if (platform::TakeSnapshot(path, snapshot))
        m_written.insert(Id{snapshot.device, snapshot.inode});
}

bool RunLedger::WrittenThisRun(const std::string& path) const {
    platform::FileSnapshot snapshot;
    return platform::TakeSnapshot(path, snapshot) && m_written.count(Id{snapshot.device, snapshot.inode});
}

} // namespace jobkit
