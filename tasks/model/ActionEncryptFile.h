#pragma once

#include "tasks/model/FileAction.h"

#include <cstdint>

// Encrypts the selected files, one by one or into one archive, and optionally wipes the sources.
class CActionEncryptFile : public CFileAction {
    QM_DECLARE_SERIAL(CActionEncryptFile)
public:
    explicit CActionEncryptFile(std::string location);
    explicit CActionEncryptFile(const CActionEncryptFile* other);

    void Serialize(CArchive& ar) override;
    void DoAction(ACTIONSTRUCT_* action) override;
    int GetAction() const override;

    // The algorithm-mode byte handed to the engine.
    std::uint8_t GetAlgorithmModeCode() const;

    std::string m_csDestFolder;
    std::int32_t m_bWipe = 0;
    std::int32_t m_bArchive = 0;
    std::string m_csArchive;
    std::string m_csKeyFile;
    std::string m_csEncPassword;
    std::int32_t m_nAlgorithm = 0;
    std::int32_t m_nMode = 0;

protected:
    CActionEncryptFile();

private:
    void SetEncProps();
};
