#pragma once

#include <QJsonObject>
#include <memory>
#include <string>

class CAction;
class CTaskManager;

namespace qmtask {

// A task as a JSON object: its member names as keys, lists as arrays, times as integers, and
// "class", "code" and "name" (task code and display name).
QJsonObject TaskToJson(CAction& task);
// The whole list: {"delete":[...],"encrypt":[...],"sendmail":[...]}.
QJsonObject ListToJson(CTaskManager& manager);

// Builds the tasks of `json` into the manager's lists; the list decides where a task goes and
// "class" (by default the list's own kind) what it is. Unknown keys and wrong types are errors.
bool ListFromJson(const QJsonObject& json, CTaskManager& manager,
                  std::vector<std::unique_ptr<CAction>>& owned, std::string& error);

} // namespace qmtask
