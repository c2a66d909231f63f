#include "tasks/manager/TaskManager.h"

#include "platform/AtomicFile.h"
#include "tasks/model/Action.h"
#include "tasks/model/ActionSendEmail.h"
#include "tasks/model/Archive.h"
#include "uikit/UIException.h"
#include "uikit/Ui.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kUnhandled[] = "LoadSchedule: Unhandled exception.";

std::string ErrorText(const CUIException& e) {
    return e.GetText() + e.GetText2();
}

} // namespace

CTaskManager::CTaskManager() = default;

CTaskManager::CTaskManager(FeedbackFunction feedback) : m_pfnFeedback(feedback) {}

CTaskManager::~CTaskManager() = default;

void CTaskManager::Reset() {
    m_lstDelete.clear();
    m_lstEncrypt.clear();
    m_lstSendMail.clear();
    m_sFilePath.clear();
}

void CTaskManager::ReadList(CArchive& ar, std::vector<CAction*>& list) {
    const std::uint32_t count = ar.ReadCount();
    // Every element takes at least its two-byte tag.
    ar.Require(static_cast<std::size_t>(count) * 2);
    for (std::uint32_t i = 0; i < count; ++i) {
        CObject* object = ar.ReadObject();
        // An absent element carries no task; keeping a null in the list would only crash later.
        if (auto* task = dynamic_cast<CAction*>(object))
            list.push_back(task);
    }
}

void CTaskManager::Serialize(CArchive& ar) {
    uikit::WaitCursor wait;
    if (ar.IsStoring()) {
        for (const auto* list : {&m_lstDelete, &m_lstEncrypt, &m_lstSendMail}) {
            ar.WriteCount(static_cast<std::uint32_t>(list->size()));
            for (const CAction* task : *list)
                ar.WriteObject(task);
        }
        return;
    }
    // Whatever happens, the objects made so far belong to the manager.
    struct Keep {
        CArchive& ar;
        std::vector<std::unique_ptr<CObject>>& into;
        ~Keep() {
            for (auto& object : ar.TakeCreatedObjects())
                into.push_back(std::move(object));
        }
    } keep{ar, m_loadedTasks};
    const CActionSendEmail::OptionListBatch oneOptionListForTheWholeFile;
    ReadList(ar, m_lstDelete);
    ReadList(ar, m_lstEncrypt);
    ReadList(ar, m_lstSendMail);
    // Bytes after the lists are not ours; accepting them silently would drop them on the next save.
    if (!ar.AtEnd())
        throw CArchiveException("Wrong format of schedule file.");
}

bool CTaskManager::ReadScheduleBytes(std::string_view bytes, std::string& error) {
    const std::string path = m_sFilePath;
    Reset();
    m_sFilePath = path;
    if (bytes.empty())
        return true;
    try {
        CArchive ar(bytes);
        Serialize(ar);
        return true;
    } catch (const CUIException& e) {
        error = ErrorText(e);
    } catch (const CArchiveException& e) {
        error = e.what();
    } catch (...) {
        error = kUnhandled;
    }
    return false;
}

bool CTaskManager::ReadScheduleFile(const std::string& path, std::string& error) {
    Reset();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno == ENOENT ? "File does not exist." : std::strerror(errno);
        return false;
    }
    std::string bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ReadScheduleBytes(bytes, error);
}

bool CTaskManager::WriteScheduleBytes(std::string& bytes, std::string& error) {
    try {
        CArchive ar;
        Serialize(ar);
        bytes = ar.GetData();
        return true;
    } catch (const CUIException& e) {
        error = ErrorText(e);
    } catch (const CArchiveException& e) {
        error = e.what();
    } catch (const std::exception& e) {
        error = e.what();
    }
    return false;
}

bool CTaskManager::WriteScheduleFile(const std::string& path, std::string& error) {
    std::string bytes;
    return WriteScheduleBytes(bytes, error) && platform::WriteFileAtomically(path, bytes, 0600, error);
}
