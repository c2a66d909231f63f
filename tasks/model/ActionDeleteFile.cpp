#include "tasks/model/ActionDeleteFile.h"

#include "tasks/model/Archive.h"
#include "tasks/model/Tables.h"

QM_IMPLEMENT_SERIAL(CActionDeleteFile, CFileAction, 3)

CActionDeleteFile::CActionDeleteFile() {
    SetDelProps();
}

CActionDeleteFile::CActionDeleteFile(std::string location) : CFileAction(std::move(location), {}, {}, 1) {
    SetDelProps();
}

CActionDeleteFile::CActionDeleteFile(const CActionDeleteFile* other)
    : CFileAction(other), m_nDelType(other->m_nDelType), m_nWipeRounds(other->m_nWipeRounds) {
    SetDelProps();
}

void CActionDeleteFile::SetDelProps() {
    CPropertyItem type("Deletion type", CPropertyItem::Choice);
    type.Connect(&m_nDelType);
    for (int code = 2; code <= 5; ++code)
        type.m_vOptions.push_back(jobkit::TaskName(code));
    m_arProps.push_back(std::move(type));

    CPropertyItem rounds("Number of wiping rounds", CPropertyItem::Text);
    rounds.Connect(&m_nWipeRounds);
    m_arProps.push_back(std::move(rounds));
}

void CActionDeleteFile::DoAction(ACTIONSTRUCT_*) {}

int CActionDeleteFile::GetAction() const {
    return m_nDelType + 2;
}

void CActionDeleteFile::Serialize(CArchive& ar) {
    SerializeBasePart([&] { CFileAction::Serialize(ar); });
    ar.Exchange(m_nDelType);
    ar.Exchange(m_nWipeRounds);
}
