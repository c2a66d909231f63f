#include "tasks/model/FileAction.h"

#include "tasks/model/Archive.h"

QM_IMPLEMENT_DYNAMIC(CFileAction, CAction, 3)

namespace {} // namespace

CFileAction::CFileAction() {
    SetProps();
}

CFileAction::CFileAction(std::string location, std::string mask, std::string name, unsigned char subfolders)
    : CAction(std::move(name)), m_bSubfolders(subfolders), m_csLocation(std::move(location)),
      m_csMask(std::move(mask)) {
    SetProps();
}

CFileAction::CFileAction(const CFileAction* other)
    : CAction(other), m_bSubfolders(other->m_bSubfolders), m_csLocation(other->m_csLocation),
      m_csMask(other->m_csMask) {
    SetProps();
}

void CFileAction::SetProps() {
    CPropertyItem mask("File mask", CPropertyItem::FileTypes);
    mask.Connect(&m_csMask);
    m_arProps.push_back(std::move(mask));

    CPropertyItem location("Location", CPropertyItem::Text);
    location.Connect(&m_csLocation);
    location.m_dwEditStyle = CPropertyItem::kDefaultEditStyle | CPropertyItem::kStyleReadOnly;
    m_arProps.push_back(std::move(location));

    CPropertyItem subfolders("Include subfolders", CPropertyItem::Choice);
    subfolders.Connect(&m_bSubfolders);
    subfolders.m_vOptions = CPropertyItem::NoYes();
    m_arProps.push_back(std::move(subfolders));
}

void CFileAction::Serialize(CArchive& ar) {
    CAction::Serialize(ar);
    SerializeString(ar, m_csLocation);
    SerializeString(ar, m_csMask);
    ar.Exchange(m_bSubfolders);
}
