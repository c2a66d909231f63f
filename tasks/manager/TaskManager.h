#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CAction;
class CArchive;
class CObject;
struct FEEDBACKITEM_;

// The owner of one task list: the delete, encrypt and send-mail tasks, always visited and stored
// in that order, and the schedule file they are saved in.
class CTaskManager {
public:
    using FeedbackFunction = int (*)(FEEDBACKITEM_*);

    CTaskManager();
    explicit CTaskManager(FeedbackFunction feedback);
    virtual ~CTaskManager();
    CTaskManager(const CTaskManager&) = delete;
    CTaskManager& operator=(const CTaskManager&) = delete;

    // Empties the three lists and clears the path; the tasks themselves stay alive.
    void Reset();
    std::string GetFilePath() const { return m_sFilePath; }

    // Writes or reads the three lists: each a count and that many tagged task records.
    void Serialize(CArchive& ar);

    // The byte side of loading: resets the lists, then reads a whole schedule file. False with a
    // readable reason on failure; the tasks read before the failure stay in the lists.
    bool ReadScheduleFile(const std::string& path, std::string& error);
    bool ReadScheduleBytes(std::string_view bytes, std::string& error);
    // The byte side of saving: the file is replaced only once every record was written, so a
    // failed save keeps the previous file.
    bool WriteScheduleFile(const std::string& path, std::string& error);
    bool WriteScheduleBytes(std::string& bytes, std::string& error);

    // Lists of the base type: a file may put any kind in any list, and a task read from the first
    // list is a delete task only if its record says so.
    std::vector<CAction*> m_lstDelete;
    std::vector<CAction*> m_lstEncrypt;
    std::vector<CAction*> m_lstSendMail;
    FeedbackFunction m_pfnFeedback = nullptr;
    std::string m_sFilePath;

private:
    void ReadList(CArchive& ar, std::vector<CAction*>& list);

    // The tasks this manager made while reading files. The lists only refer to them and callers
    // may keep them after a reset, so they live as long as the manager.
    std::vector<std::unique_ptr<CObject>> m_loadedTasks;
};
