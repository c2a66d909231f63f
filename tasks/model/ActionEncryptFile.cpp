#include "tasks/model/ActionEncryptFile.h"

#include "tasks/model/Archive.h"
#include "tasks/model/Tables.h"

QM_IMPLEMENT_SERIAL(CActionEncryptFile, CFileAction, 3)

namespace {} // namespace

CActionEncryptFile::CActionEncryptFile() {
    SetEncProps();
}

CActionEncryptFile::CActionEncryptFile(std::string location) : CFileAction(std::move(location), {}, {}, 1) {
    SetEncProps();
}

CActionEncryptFile::CActionEncryptFile(const CActionEncryptFile* other)
    : CFileAction(other), m_csDestFolder(other->m_csDestFolder), m_bWipe(other->m_bWipe),
      m_bArchive(other->m_bArchive), m_csArchive(other->m_csArchive), m_csKeyFile(other->m_csKeyFile),
      m_csEncPassword(other->m_csEncPassword), m_nAlgorithm(other->m_nAlgorithm), m_nMode(other->m_nMode) {
    SetEncProps();
}

void CActionEncryptFile::SetEncProps() {
    CPropertyItem dest("Destination folder", CPropertyItem::Folder);
    dest.Connect(&m_csDestFolder);
    m_arProps.push_back(std::move(dest));

    CPropertyItem keyFile("Key file", CPropertyItem::File);
    keyFile.Connect(&m_csKeyFile);
    keyFile.m_csFilter = "All files (*.*)";
    keyFile.m_csTitle = "Select Quillmark key file";
    m_arProps.push_back(std::move(keyFile));

    CPropertyItem archive("Create archive", CPropertyItem::Choice);
    archive.Connect(&m_bArchive);
    archive.m_vOptions = CPropertyItem::NoYes();
    m_arProps.push_back(std::move(archive));

    CPropertyItem archiveName("Archive name", CPropertyItem::File);
    archiveName.Connect(&m_csArchive);
    archiveName.m_csDefExt = "qma";
    archiveName.m_csFilter = "All files (*.*)";
    archiveName.m_csTitle = "Select Quillmark archive";
    archiveName.m_dwFlags = CPropertyItem::kPathMustExist;
    m_arProps.push_back(std::move(archiveName));

    CPropertyItem password("Password", CPropertyItem::Masked);
    password.Connect(&m_csEncPassword);
    password.m_dwEditStyle = CPropertyItem::kDefaultEditStyle | CPropertyItem::kStylePassword;
    m_arProps.push_back(std::move(password));

    CPropertyItem algorithm("Algorithm", CPropertyItem::Choice);
    algorithm.Connect(&m_nAlgorithm);
    algorithm.m_vOptions.assign(std::begin(jobkit::algorithmNames), std::end(jobkit::algorithmNames));
    m_arProps.push_back(std::move(algorithm));

    CPropertyItem mode("Mode", CPropertyItem::Choice);
    mode.Connect(&m_nMode);
    mode.m_vOptions.assign(std::begin(jobkit::modeNames), std::end(jobkit::modeNames));
    m_arProps.push_back(std::move(mode));

    CPropertyItem wipe("Wipe original files", CPropertyItem::Choice);
    wipe.Connect(&m_bWipe);
    wipe.m_vOptions = CPropertyItem::NoYes();
    m_arProps.push_back(std::move(wipe));
}

void CActionEncryptFile::DoAction(ACTIONSTRUCT_*) {}

int CActionEncryptFile::GetAction() const {
    return m_bWipe ? 0 : 1;
}

std::uint8_t CActionEncryptFile::GetAlgorithmModeCode() const {
    return jobkit::AlgorithmModeCode(m_nAlgorithm, m_nMode);
}

void CActionEncryptFile::Serialize(CArchive& ar) {
    SerializeBasePart([&] { CFileAction::Serialize(ar); });
    // The two string forms keep the kind's own fields in different orders.
    if (IsSealedForm()) {
        SerializeString(ar, m_csDestFolder);
        SerializeString(ar, m_csArchive);
        SerializeString(ar, m_csKeyFile);
        SerializeString(ar, m_csEncPassword);
        ar.Exchange(m_nAlgorithm);
        ar.Exchange(m_bArchive);
        ar.Exchange(m_nMode);
        ar.Exchange(m_bWipe);
    } else {
        ar.Exchange(m_bWipe);
        SerializeString(ar, m_csDestFolder);
        ar.Exchange(m_bArchive);
        SerializeString(ar, m_csArchive);
        SerializeString(ar, m_csKeyFile);
        SerializeString(ar, m_csEncPassword);
        ar.Exchange(m_nAlgorithm);
        ar.Exchange(m_nMode);
    }
}
