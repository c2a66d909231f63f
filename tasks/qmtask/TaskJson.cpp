#include "TaskJson.h"

#include "tasks/manager/TaskManager.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"
#include "tasks/model/TaskFields.h"

#include <QJsonArray>
#include <cmath>
#include <limits>
#include <set>
#include <stdexcept>

namespace qmtask {
namespace {

const char* const kListKeys[3] = {"delete", "encrypt", "sendmail"};
const char* const kListClasses[3] = {"CActionDeleteFile", "CActionEncryptFile", "CActionSendEmail"};

class JsonWriter : public jobkit::ITaskFieldVisitor {
public:
    explicit JsonWriter(QJsonObject& out) : m_out(out) {}
    void Int(const char* name, std::int32_t& value) override { m_out[name] = value; }
    void Time(const char* name, std::int64_t& value) override { m_out[name] = static_cast<qint64>(value); }
    void Text(const char* name, std::string& value) override { m_out[name] = QString::fromStdString(value); }
    void List(const char* name, std::vector<std::int32_t>& value) override {
        QJsonArray array;
        for (const std::int32_t v : value)
            array.append(v);
        m_out[name] = array;
    }

private:
    QJsonObject& m_out;
};

// Fills the fields present in a JSON object; throws std::runtime_error on a wrong type.
class JsonReader : public jobkit::ITaskFieldVisitor {
public:
    explicit JsonReader(const QJsonObject& in) : m_in(in) {}
    void Int(const char* name, std::int32_t& value) override {
        if (const auto v = Number(name, std::numeric_limits<std::int32_t>::min(),
                                  std::numeric_limits<std::int32_t>::max()))
            value = static_cast<std::int32_t>(*v);
    }
    void Time(const char* name, std::int64_t& value) override {
        if (const auto v = Number(name, std::numeric_limits<std::int64_t>::min(),
                                  std::numeric_limits<std::int64_t>::max()))
            value = *v;
    }
    void Text(const char* name, std::string& value) override {
        if (!Take(name))
            return;
        if (!m_in[name].isString())
            throw std::runtime_error(std::string(name) + " must be a text");
        value = m_in[name].toString().toStdString();
    }
    void List(const char* name, std::vector<std::int32_t>& value) override {
        if (!Take(name))
            return;
        if (!m_in[name].isArray())
            throw std::runtime_error(std::string(name) + " must be a list of numbers");
        value.clear();
        for (const QJsonValue& v : m_in[name].toArray()) {
            const double d = v.toDouble(std::nan(""));
            if (!v.isDouble() || d != std::floor(d) || d < std::numeric_limits<std::int32_t>::min() ||
                d > std::numeric_limits<std::int32_t>::max())
                throw std::runtime_error(std::string(name) + " must be a list of 32-bit integers");
            value.push_back(static_cast<std::int32_t>(d));
        }
    }
    const std::set<QString>& taken() const { return m_taken; }

private:
    bool Take(const char* name) {
        if (!m_in.contains(name))
            return false;
        m_taken.insert(name);
        return true;
    }
    std::optional<std::int64_t> Number(const char* name, std::int64_t low, std::int64_t high) {
        if (!Take(name))
            return std::nullopt;
        const QJsonValue v = m_in[name];
        // Integers keep their exact value; doubles are accepted only when whole.
        const qint64 i = v.toInteger(std::numeric_limits<qint64>::min());
        const bool whole = v.isDouble() && (i != std::numeric_limits<qint64>::min() ||
                                            v.toDouble() == static_cast<double>(i));
        if (!whole || i < low || i > high)
            throw std::runtime_error(std::string(name) + " must be an integer in range");
        return i;
    }

    const QJsonObject& m_in;
    std::set<QString> m_taken;
};

std::unique_ptr<CAction> MakeTask(const std::string& cls) {
    if (cls == "CActionDeleteFile")
        return std::make_unique<CActionDeleteFile>(std::string());
    if (cls == "CActionEncryptFile")
        return std::make_unique<CActionEncryptFile>(std::string());
    if (cls == "CActionSendEmail")
        return std::make_unique<CActionSendEmail>();
    throw std::runtime_error("unknown class \"" + cls + "\"");
}

std::vector<CAction*>& List(CTaskManager& manager, int which) {
    return which == 0 ? manager.m_lstDelete : which == 1 ? manager.m_lstEncrypt : manager.m_lstSendMail;
}

} // namespace

QJsonObject TaskToJson(CAction& task) {
    QJsonObject out;
    out["class"] = task.GetRuntimeClass()->m_lpszClassName;
    out["code"] = task.GetAction();
    try {
        out["name"] = QString::fromStdString(task.GetActionName());
    } catch (const std::invalid_argument&) {
        out["name"] = QJsonValue(QJsonValue::Null); // a damaged code names no task
    }
    JsonWriter writer(out);
    jobkit::VisitTaskFields(task, writer);
    return out;
}

QJsonObject ListToJson(CTaskManager& manager) {
    QJsonObject out;
    for (int which = 0; which < 3; ++which) {
        QJsonArray array;
        for (CAction* task : List(manager, which))
            array.append(TaskToJson(*task));
        out[kListKeys[which]] = array;
    }
    return out;
}

bool ListFromJson(const QJsonObject& json, CTaskManager& manager,
                  std::vector<std::unique_ptr<CAction>>& owned, std::string& error) {
    for (const QString& key : json.keys()) {
        if (key != "delete" && key != "encrypt" && key != "sendmail") {
            error = "unknown list \"" + key.toStdString() + "\"";
            return false;
        }
    }
    for (int which = 0; which < 3; ++which) {
        const QJsonValue list = json[kListKeys[which]];
        if (list.isUndefined())
            continue;
        if (!list.isArray()) {
            error = std::string("\"") + kListKeys[which] + "\" must be a list of tasks";
            return false;
        }
        int position = 0;
        for (const QJsonValue& value : list.toArray()) {
            const std::string where =
                std::string(kListKeys[which]) + "[" + std::to_string(position++) + "]: ";
            try {
                if (!value.isObject())
                    throw std::runtime_error("a task must be an object");
                const QJsonObject object = value.toObject();
                const QJsonValue cls = object["class"];
                if (!cls.isUndefined() && !cls.isString())
                    throw std::runtime_error("class must be a text");
                auto task = MakeTask(cls.isString() ? cls.toString().toStdString() : kListClasses[which]);
                JsonReader reader(object);
                jobkit::VisitTaskFields(*task, reader);
                for (const QString& key : object.keys()) {
                    if (key != "class" && key != "code" && key != "name" && !reader.taken().count(key))
                        throw std::runtime_error("unknown field \"" + key.toStdString() + "\"");
                }
                List(manager, which).push_back(task.get());
                owned.push_back(std::move(task));
            } catch (const std::runtime_error& e) {
                error = where + e.what();
                return false;
            }
        }
    }
    return true;
}

} // namespace qmtask
