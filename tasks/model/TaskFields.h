#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CAction;

namespace jobkit {

// Visits the stored fields of a task, base class first and in declaration order, under their
// member names; the command-line tool's JSON form and the round-trip tests are built on it.
class ITaskFieldVisitor {
public:
    virtual ~ITaskFieldVisitor() = default;
    virtual void Int(const char* name, std::int32_t& value) = 0;
    virtual void Time(const char* name, std::int64_t& value) = 0;
    virtual void Text(const char* name, std::string& value) = 0;
    virtual void List(const char* name, std::vector<std::int32_t>& value) = 0;
};

void VisitTaskFields(CAction& task, ITaskFieldVisitor& visitor);

} // namespace jobkit
