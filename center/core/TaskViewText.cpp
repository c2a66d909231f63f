#include "center/core/TaskViewText.h"

#include "center/core/ListRows.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"
#include "tasks/model/Tables.h"
#include "tasks/schedlink/LastResults.h"
#include "uikit/ShellInfo.h"

#include <algorithm>

namespace center {

std::string TaskNodeLabel(const CAction& task) {
    if (!task.m_csName.empty())
        return task.m_csName;
    if (const auto* file = dynamic_cast<const CFileAction*>(&task)) {
        if (!file->m_csMask.empty())
            return file->m_csMask.size() > 20 ? file->m_csMask.substr(0, 20) + "..." : file->m_csMask;
    } else if (const auto* mail = dynamic_cast<const CActionSendEmail*>(&task)) {
        if (!mail->m_csMessage.empty()) {
            std::string text = mail->m_csMessage;
            std::erase_if(text, [](char c) { return c == '0' || c == '3'; });
            // A label is one line.
            std::replace_if(
                text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
            return text.substr(0, 25);
        }
    }
    return "New task";
}

int TaskNodeImage(const CAction& task) {
    if (const auto* mail = dynamic_cast<const CActionSendEmail*>(&task))
        return mail->m_csAttachment.empty() ? kImageMail : kImageMailAttachment;
    const auto* file = dynamic_cast<const CFileAction*>(&task);
    if (!file || file->m_csMask.empty())
        return kImageDeleteTask;
    if (const auto* encrypt = dynamic_cast<const CActionEncryptFile*>(&task))
        return encrypt->m_bWipe ? kImageEncryptWipe : kImageEncrypt;
    if (const auto* remove = dynamic_cast<const CActionDeleteFile*>(&task))
        return kImageDeleteTask + std::clamp(remove->m_nDelType, 0, 3);
    return kImageDeleteTask;
}

std::vector<FolderStep> FolderChain(const std::string& location) {
    std::vector<FolderStep> steps;
    if (location.empty())
        return steps;
    std::string path = location;
    if (path.empty() || path.back() != '/')
        path += '/';
    std::size_t from = 0;
    if (path.front() == '/') {
        steps.push_back({"/", uikit::GetDriveDisplayName("/") + " (/)", true});
        from = 1;
    }
    for (std::size_t slash = path.find('/', from); slash != std::string::npos; slash = path.find('/', from)) {
        // Repeated slashes name no folder of their own.
        if (slash > from)
            steps.push_back({path.substr(0, slash + 1), path.substr(from, slash - from), false});
        from = slash + 1;
    }
    return steps;
}

FeedbackLines DescribeFeedback(const FEEDBACKITEM_& item) {
    FeedbackLines out;
    if (item.nErrorCode == 0) {
        out.lines.push_back(item.csItem);
        return out;
    }
    out.error = true;
    static const std::string header = "**************** ERROR: ****************";
    out.lines.push_back("");
    out.lines.push_back(header);
    if (item.pTask) {
        const auto* file = dynamic_cast<const CFileAction*>(item.pTask);
        out.lines.push_back(std::string("Type of task: ") +
                            (dynamic_cast<const CActionDeleteFile*>(item.pTask) ? "DELETE" : "ENCRYPT"));
        if (file) {
            out.lines.push_back("Path: " + file->m_csLocation + " " +
                                (file->m_bSubfolders ? "(including subdirectories)" : ""));
            out.lines.push_back("File mask: " + file->m_csMask);
        }
    }
    const char* text = jobkit::ErrorTableText(item.nErrorCode);
    const std::string errorText = text ? text : "Error " + std::to_string(item.nErrorCode);
    const std::string message =
        item.csItem.empty() ? "     " + errorText : "     " + errorText + " : " + item.csItem;
    out.lines.push_back(message);
    if (!item.csDetail.empty())
        out.lines.push_back("     " + item.csDetail);
    out.lines.push_back("");
    out.question = header + "\n" + message + "\n\nContinue?";
    return out;
}

std::vector<std::pair<std::string, std::string>> ScheduledTaskRows(CAction& task,
                                                                   const tasksched::TaskResult* last) {
    std::vector<std::pair<std::string, std::string>> rows;
    for (const CPropertyItem& p : task.m_arProps) {
        std::string value = p.GetCurValueString();
        if (p.m_csLabel == "Password")
            value = value.empty() ? "" : "***";
        rows.emplace_back(p.m_csLabel, value);
    }
    std::string schedule;
    task.GetLongSchedString(schedule);
    const auto when = [](std::int64_t t) { return t > 86400 ? DateText(t, 30) : std::string("-"); };
    rows.emplace_back(shpropsnames[0], schedule);
    rows.emplace_back(shpropsnames[1], DateText(task.m_tStart, 30));
    rows.emplace_back(shpropsnames[2], task.m_bHasEnd ? DateText(task.m_tEnd, 30) : "-");
    rows.emplace_back(shpropsnames[3], when(task.m_tNextRun));
    rows.emplace_back(shpropsnames[4], when(task.m_tLastRun));
    rows.emplace_back("Last result", tasksched::DescribeResult(last));
    return rows;
}

std::string FrameLabel(const std::string& name, int count) {
    return count > 0 ? name + " (" + std::to_string(count) + ")" : name;
}

} // namespace center
