// The file list: each file task's selection rule turned into files, one entry per file.
#include "tasks/manager/TaskManager.h"
#include "tasks/manager/TaskWindows.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "uikit/ShellInfo.h"
#include "uikit/UIException.h"
#include "uikit/Ui.h"

#include <cstring>
#include <filesystem>
#include <map>
#include <sys/stat.h>

namespace {

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// "a/./b//c" and "a/b/c" are one folder; without this one file could get two entries and be
// encrypted or deleted twice.
std::string FolderWithSlash(const std::string& folder) {
    std::string normal = std::filesystem::path(folder).lexically_normal().string();
    if (normal.empty() || normal.back() != '/')
        normal += '/';
    return normal;
}

unsigned char Lower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

const char kWrongMask[] = "ListFiles: wrong file mask";

// The type description goes by the name's extension; asking the MIME database once per
// extension instead of once per file keeps long listings fast.
std::string TypeName(const std::string& name, const std::string& path) {
    const auto dot = name.find('.', 1);
    if (dot == std::string::npos)
        return uikit::GetFileTypeName(path).substr(0, 255);
    std::string suffix = name.substr(dot);
    for (char& c : suffix)
        c = static_cast<char>(Lower(static_cast<unsigned char>(c)));
    thread_local std::map<std::string, std::string> cache;
    if (cache.size() > 4096)
        cache.clear();
    auto [it, inserted] = cache.try_emplace(suffix);
    if (inserted)
        it->second = uikit::GetFileTypeName(path).substr(0, 255);
    return it->second;
}

} // namespace

bool FileKeyLess::operator()(const std::string& a, const std::string& b) const {
    const std::size_t n = std::min(a.size(), b.size());
    // Keys of one listing share long folder prefixes. Bytes that are equal are equal in lower case
    // too, so they are passed over eight at a time before comparing without regard to case.
    std::size_t i = 0;
    while (i + 8 <= n && std::memcmp(a.data() + i, b.data() + i, 8) == 0)
        i += 8;
    for (; i < n; ++i) {
        const unsigned char x = Lower(static_cast<unsigned char>(a[i]));
        const unsigned char y = Lower(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

bool jobkit::IsAbsoluteLocation(const std::string& path) {
    return !path.empty() && path.front() == '/';
}

unsigned CTaskManager::ListFiles(CFileAction* task, CALLBACKSTRUCT_* progress) {
    if (progress)
        progress->bContinue = 1;
    // Each reported setting error also counts against the listing.
    auto fail = [&](const std::string& item, int code, const std::string& detail = "") {
        if (progress)
            ++progress->nErrors;
        ReportError(task, item, code, detail);
        return 0u;
    };
    // An empty Location would be "/" and a relative one the current folder, which is "/" for
    // keeper: neither is what anybody meant.
    if (!jobkit::IsAbsoluteLocation(task->m_csLocation))
        return fail(task->m_csLocation, 515, jobkit::kNotAbsoluteDetail);
    std::string folder = task->m_csLocation;
    if (folder.back() != '/')
        folder += '/';
    if (!IsDirectory(folder))
        return fail(folder, 515);
    std::string masks = task->m_csMask;
    if (masks.empty())
        return fail("", 516);
    if (masks.back() != '|')
        throw CUIException(0, kWrongMask, "");
    masks.erase(0, 1);
    const std::string start = FolderWithSlash(folder);
    if (auto* enc = dynamic_cast<CActionEncryptFile*>(task)) {
        int code = 0;
        std::string item;
        std::string detail;
        if (!enc->m_csDestFolder.empty() && !jobkit::IsAbsoluteLocation(enc->m_csDestFolder))
            code = 517, item = enc->m_csDestFolder, detail = jobkit::kNotAbsoluteDetail;
        else if (!enc->m_csDestFolder.empty() && !IsDirectory(enc->m_csDestFolder))
            code = 517, item = enc->m_csDestFolder;
        else if (enc->m_bArchive && enc->m_csArchive.empty())
            code = 518;
        else if (enc->m_bArchive && !jobkit::IsAbsoluteLocation(enc->m_csArchive))
            code = 519, item = enc->m_csArchive, detail = jobkit::kNotAbsoluteDetail;
        else if (enc->m_bArchive && !IsDirectory(FolderOf(enc->m_csArchive)))
            code = 519, item = FolderOf(enc->m_csArchive);
        else if (!enc->m_csKeyFile.empty() && !IsFile(enc->m_csKeyFile))
            code = 520, item = enc->m_csKeyFile;
        else if (enc->m_csKeyFile.empty() && enc->m_csEncPassword.empty())
            code = 521;
        if (code) {
            // The task will not run, so a later task of this run must not remove what it was
            // meant to encrypt.
            if (m_inRun)
                GuardSelection(task, start, masks);
            return fail(item, code, detail);
        }
    }
    return WalkMasks(task, start, masks, progress);
}

unsigned CTaskManager::WalkMasks(CFileAction* task, const std::string& start, std::string masks,
                                 CALLBACKSTRUCT_* progress) {
    unsigned count = 0;
    while (!masks.empty()) {
        if (masks.size() < 3)
            throw CUIException(0, kWrongMask, "");
        const auto bar = masks.find('|');
        const std::string mask = masks.substr(0, bar);
        masks.erase(0, bar + 1);
        count += SearchDir(start, mask, task->m_bSubfolders, task, progress);
    }
    return count;
}

void CTaskManager::GuardSelection(CFileAction* task, const std::string& start, const std::string& masks) {
    FileMap listed;
    std::swap(listed, m_mapFiles);
    try {
        WalkMasks(task, start, masks, nullptr);
    } catch (const CUIException&) {
        // What was found before the bad mask is guarded all the same.
    }
    for (const auto& [path, entry] : m_mapFiles)
        m_ledger.Selected(path);
    std::swap(listed, m_mapFiles);
}

unsigned CTaskManager::SearchDir(const std::string& start, const std::string& mask, int recurse,
                                 CFileAction* task, CALLBACKSTRUCT_* progress) {
    auto goOn = [progress] { return !progress || progress->bContinue; };
    platform::FolderWalk walk(start, mask, recurse != 0);
    platform::WalkedFolder walked;
    unsigned count = 0;
    // A folder that cannot be searched is passed over (the walk does not go below it either).
    while (goOn() && walk.Next(walked)) {
        const std::string& folder = walked.folder;
        for (const platform::FindData& entry : walked.entries) {
            if (!goOn())
                break;
            if (entry.isDirectory || !platform::MatchesMask(entry.name, mask))
                continue;
            std::string path = folder + entry.name;
            // A link to a folder is neither a file nor walked into.
            if (entry.isSymlink && IsDirectory(path))
                continue;
            ++count;
            auto [it, inserted] = m_mapFiles.try_emplace(std::move(path));
            ListedFile& listed = it->second;
            if (inserted) {
                listed.owner = task;
                listed.findData = entry;
                listed.relativeFolder = walked.relative;
                listed.folder = folder;
                listed.typeName = TypeName(entry.name, it->first);
                if (progress) {
                    progress->csCurrent = it->first;
                    progress->nCurrent = static_cast<int>(m_mapFiles.size());
                    progress->Callback();
                }
                continue;
            }
            // The deeper Location owns its subtree; on one Location the lower action code wins, so
            // encrypting comes before deleting.
            const std::size_t mine = task->m_csLocation.size();
            const std::size_t theirs = listed.owner ? listed.owner->m_csLocation.size() : 0;
            if (!listed.owner || mine > theirs ||
                (mine == theirs && task->GetAction() < listed.owner->GetAction()))
                listed.owner = task;
        }
    }
    return count;
}

void CTaskManager::CallBack(CALLBACKSTRUCT_* record) {
    auto* window = static_cast<jobkit::ITaskWaitWindow*>(record->pDialog);
    if (window) {
        window->SetFoundCount(static_cast<unsigned>(record->nCurrent));
        window->SetSearchFolder(FolderOf(record->csCurrent));
    }
    uikit::PumpMessages();
}

void CTaskManager::ListWithWindow(const std::vector<CFileAction*>& tasks, int showProgress,
                                  bool alwaysRecord) {
    CALLBACKSTRUCT_ record;
    std::unique_ptr<jobkit::ITaskWaitWindow> window;
    if (showProgress) {
        window = jobkit::TaskWindows().OpenWaitWindow(&record.bContinue);
        record.pfnCallBack = &CTaskManager::CallBack;
        record.pDialog = window.get();
        record.nPathCtrlId = 153;
    }
    for (CFileAction* task : tasks)
        ListFiles(task, (showProgress || alwaysRecord) ? &record : nullptr);
    if (showProgress) {
        SendFeedback("-----------------------------------");
        char line[128];
        std::snprintf(line, sizeof line, "%d files listed, %d errors", static_cast<int>(m_mapFiles.size()),
                      record.nErrors);
        SendFeedback(line);
    }
}

void CTaskManager::BuildList(int showProgress) {
    std::vector<CFileAction*> tasks;
    for (const auto* list : {&m_lstDelete, &m_lstEncrypt})
        for (CAction* task : *list)
            if (auto* fileTask = dynamic_cast<CFileAction*>(task))
                tasks.push_back(fileTask);
    ListWithWindow(tasks, showProgress, true);
}

void CTaskManager::BuildTaskList(CFileAction* task, int showProgress) {
    ListWithWindow({task}, showProgress, false);
}
