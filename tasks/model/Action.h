#pragma once

#include "tasks/model/PropertyItem.h"
#include "tasks/model/RuntimeClass.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CArchive;
class CUIException;

// Handed to DoAction; the execution driver does the work of a task, so nothing reads it.
struct ACTIONSTRUCT_ {};

// The base of every task: name, identifier and schedule rule. Concrete only as a blank
// placeholder (task code -1). Tasks are not copyable by value: their property rows point at their
// own fields, so a copy is made with the pointer constructors, which bind new rows.
class CAction : public CObject {
    QM_DECLARE_SERIAL(CAction)
public:
    ~CAction() override;
    CAction(const CAction&) = delete;
    CAction& operator=(const CAction&) = delete;

    void Serialize(CArchive& ar) override;
    virtual void DoAction(ACTIONSTRUCT_* action);
    // Load-only readers of the base part of older records; nothing dispatches to them.
    virtual void SerializeVer1(CArchive& ar);
    virtual void SerializeVer2(CArchive& ar);
    virtual int GetAction() const;
    virtual std::string GetActionName() const;

    // The next run time of the rule after the clock's now (0: none). A result later than now is
    // also stored in m_tNextRun; an earlier one is returned but not stored.
    std::int64_t GetNextRun();
    // The same for any moment; the clock-reading form calls it.
    std::int64_t GetNextRun(std::int64_t now);
    // The short and long descriptions of the rule, built once and then taken from their caches.
    void GetShortSchedString(std::string& text);
    void GetLongSchedString(std::string& text);
    void BuildSchedString();

    std::vector<CPropertyItem> m_arProps;
    std::int32_t m_nId = 0;
    std::string m_csName;
    std::int32_t m_nRunType = 0;
    std::int32_t m_nTimeFrame = 0;
    std::int32_t m_nInterval = 0;
    std::int32_t m_nMinute = 0;
    std::int32_t m_nDay = 0;
    std::int32_t m_nHour = 0;
    std::int32_t m_bHasEnd = 0;
    std::int64_t m_tStart = 0;
    std::int64_t m_tEnd = 0;
    std::int64_t m_tNextRun = 0;
    std::int64_t m_tLastRun = 0;
    std::vector<std::int32_t> m_vHours;
    std::vector<std::int32_t> m_vDays;
    std::vector<std::int32_t> m_vMonths;
    std::string m_sShortSched;
    std::string m_sLongSched;

    // The document password: while it is not empty every string field is stored sealed with it.
    static std::string m_csPassword;

    // Reads or writes one string field in the form that the document password selects.
    static void SerializeString(CArchive& ar, std::string& text);
    static bool IsSealedForm() { return !m_csPassword.empty(); }

protected:
    CAction();
    explicit CAction(std::string name);
    explicit CAction(const CAction* other);

    void SetProps();
    // Runs the base part of a record. An error there is shown to the user and then ends the
    // load or save: going on from the middle of a record would read the rest of the file as
    // garbage, or write a file that cannot be read back.
    static void SerializeBasePart(const std::function<void()>& basePart);

private:
    void SerializeFields(CArchive& ar);
};
