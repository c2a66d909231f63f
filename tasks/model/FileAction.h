#pragma once

#include "tasks/model/Action.h"

// The selection rule shared by the file kinds: a folder, a mask and the subfolder switch.
class CFileAction : public CAction {
    QM_DECLARE_DYNAMIC(CFileAction)
public:
    void Serialize(CArchive& ar) override;

    std::int32_t m_bSubfolders = 0;
    std::string m_csLocation;
    std::string m_csMask;

protected:
    CFileAction();
    CFileAction(std::string location, std::string mask, std::string name, unsigned char subfolders);
    explicit CFileAction(const CFileAction* other);

    void SetProps();
};
