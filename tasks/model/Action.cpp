#include "tasks/model/Action.h"

#include "misckit/ErrorList.h"
#include "tasks/model/Archive.h"
#include "tasks/model/SealedText.h"
#include "tasks/model/Tables.h"
#include "uikit/UIException.h"
#include "uikit/Ui.h"

QM_IMPLEMENT_SERIAL(CAction, CObject, 3)

std::string CAction::m_csPassword;

namespace {

const char kWrongFormat[] = "Wrong format of schedule file.";
const char kStoringOldSchema[] = "SerializeVer1(): storing";

void SerializeList(CArchive& ar, std::vector<std::int32_t>& list) {
    if (ar.IsStoring()) {
        ar << static_cast<std::int32_t>(list.size());
        for (const std::int32_t v : list)
            ar << v;
        return;
    }
    std::int32_t count = 0;
    ar >> count;
    list.clear();
    if (count <= 0)
        return;
    ar.Require(static_cast<std::size_t>(count) * sizeof(std::int32_t));
    list.resize(static_cast<std::size_t>(count));
    for (std::int32_t& v : list)
        ar >> v;
}

} // namespace

CAction::CAction() {
    SetProps();
}

CAction::CAction(std::string name) : m_csName(std::move(name)) {
    SetProps();
}

CAction::CAction(const CAction* other)
    : m_nId(other->m_nId), m_csName(other->m_csName), m_nRunType(other->m_nRunType),
      m_nTimeFrame(other->m_nTimeFrame), m_nInterval(other->m_nInterval), m_nMinute(other->m_nMinute),
      m_nDay(other->m_nDay), m_nHour(other->m_nHour), m_bHasEnd(other->m_bHasEnd), m_tStart(other->m_tStart),
      m_tEnd(other->m_tEnd), m_tNextRun(other->m_tNextRun), m_tLastRun(other->m_tLastRun),
      m_vHours(other->m_vHours), m_vDays(other->m_vDays), m_vMonths(other->m_vMonths),
      m_sShortSched(other->m_sShortSched), m_sLongSched(other->m_sLongSched) {
    SetProps();
}

CAction::~CAction() = default;

void CAction::SetProps() {
    CPropertyItem name("Task name", CPropertyItem::Text);
    name.Connect(&m_csName);
    name.m_dwEditStyle = CPropertyItem::kPlainEditStyle;
    m_arProps.push_back(std::move(name));
}

void CAction::DoAction(ACTIONSTRUCT_*) {}

int CAction::GetAction() const {
    return -1;
}

std::string CAction::GetActionName() const {
    return jobkit::TaskName(GetAction());
}

void CAction::SerializeString(CArchive& ar, std::string& text) {
    if (IsSealedForm()) {
        if (ar.IsStoring()) {
            jobkit::WriteSealedText(ar, text, m_csPassword);
        } else {
            text = jobkit::ReadSealedText(ar, m_csPassword);
        }
    } else if (ar.IsStoring()) {
        ar.WriteCountedText(text);
    } else {
        text = ar.ReadCountedText();
    }
}

void CAction::SerializeFields(CArchive& ar) {
    SerializeString(ar, m_csName);
    for (std::int32_t* v :
         {&m_nId, &m_nRunType, &m_nTimeFrame, &m_nInterval, &m_nMinute, &m_nDay, &m_nHour, &m_bHasEnd})
        ar.Exchange(*v);
    for (std::int64_t* t : {&m_tStart, &m_tEnd, &m_tNextRun, &m_tLastRun})
        ar.Exchange(*t);
    SerializeList(ar, m_vHours);
    SerializeList(ar, m_vDays);
    SerializeList(ar, m_vMonths);
}

void CAction::Serialize(CArchive& ar) {
    if (ar.IsLoading()) {
        const unsigned schema = ar.GetObjectSchema();
        if (schema == 1 || schema == 2)
            throw CUIException(0, kWrongFormat);
    }
    SerializeFields(ar);
}

void CAction::SerializeVer1(CArchive& ar) {
    if (ar.IsStoring())
        throw CUIException(0, kStoringOldSchema);
    SerializeString(ar, m_csName);
    m_nId = 0;
}

void CAction::SerializeVer2(CArchive& ar) {
    if (ar.IsStoring())
        throw CUIException(0, kStoringOldSchema);
    SerializeFields(ar);
}

void CAction::SerializeBasePart(const std::function<void()>& basePart) {
    try {
        basePart();
    } catch (const CUIException& e) {
        uikit::MessageBox(e.GetText() + e.GetText2(), misckit::szAppName, uikit::Buttons::OK,
                          uikit::Icon::Error);
        throw;
    }
}
