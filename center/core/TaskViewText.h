#pragma once

// The texts the task-list and schedule views show for tasks: node labels and pictures of the task
// tree, the folder chain of a task's Location, the run log's lines for a feedback item and the
// rows that describe a scheduled task. Nothing here needs Qt.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class CAction;
struct FEEDBACKITEM_;

namespace tasksched {
struct TaskResult;
}

namespace center {

// Pictures of the task tree, by their place in its image list.
enum TaskImage : int {
    kImageDeleteGroup = 0,
    kImageDrive = 2,
    kImageFolder = 3,
    kImageFolderOpen = 4,
    kImageDeleteTask = 5, // + deletion type 0 to 3; also a file task without a mask
    kImageEncrypt = 9,
    kImageEncryptWipe = 10,
    kImageSender = 11,
    kImageMail = 12,
    kImageMailAttachment = 13,
};

// The node label of a task: its name; without one the mask (cut to 20 characters and "..."),
// a mail task's message (without "0" and "3", cut to 25), or "New task".
std::string TaskNodeLabel(const CAction& task);
int TaskNodeImage(const CAction& task);

// One node of a Location's folder chain: the path up to and including it (ending in "/") and
// its label; the root is the drive.
struct FolderStep {
    std::string prefix;
    std::string label;
    bool drive = false;
};
// The chain of `location` with a final "/" added when missing. A relative or empty location has
// no root step.
std::vector<FolderStep> FolderChain(const std::string& location);

// The log lines of one feedback item of a task run, and for an error the question's text.
struct FeedbackLines {
    std::vector<std::string> lines;
    bool error = false;
    std::string question; // "header\nmessage\n\nContinue?"
};
FeedbackLines DescribeFeedback(const FEEDBACKITEM_& item);

// The rows of a scheduled task in the description pane: its properties ("Password" masked), the
// five schedule rows, then its last result. `now` decides nothing here; times are local.
std::vector<std::pair<std::string, std::string>> ScheduledTaskRows(CAction& task,
                                                                   const tasksched::TaskResult* last);

// The time-frame tree's label: the name, or "name (count)" with a count above 0.
std::string FrameLabel(const std::string& name, int count);

} // namespace center
