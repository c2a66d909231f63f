#pragma once

#include "tasks/model/FileAction.h"

// Keeps, recycles, deletes or wipes the selected files.
class CActionDeleteFile : public CFileAction {
    QM_DECLARE_SERIAL(CActionDeleteFile)
public:
    explicit CActionDeleteFile(std::string location);
    explicit CActionDeleteFile(const CActionDeleteFile* other);

    void Serialize(CArchive& ar) override;
    void DoAction(ACTIONSTRUCT_* action) override;
    int GetAction() const override;

    std::int32_t m_nDelType = 0; // 0 keep, 1 Recycle Bin, 2 delete, 3 wipe
    std::int32_t m_nWipeRounds = 3;

protected:
    CActionDeleteFile();

private:
    void SetDelProps();
};
