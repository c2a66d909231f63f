#include "tasks/model/TaskFields.h"

#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"

#define QM_FIELD(kind, object, field) visitor.kind(#field, (object).field)

namespace jobkit {

void VisitTaskFields(CAction& task, ITaskFieldVisitor& visitor) {
    QM_FIELD(Int, task, m_nId);
    QM_FIELD(Text, task, m_csName);
    QM_FIELD(Int, task, m_nRunType);
    QM_FIELD(Int, task, m_nTimeFrame);
    QM_FIELD(Int, task, m_nInterval);
    QM_FIELD(Int, task, m_nMinute);
    QM_FIELD(Int, task, m_nDay);
    QM_FIELD(Int, task, m_nHour);
    QM_FIELD(Int, task, m_bHasEnd);
    QM_FIELD(Time, task, m_tStart);
    QM_FIELD(Time, task, m_tEnd);
    QM_FIELD(Time, task, m_tNextRun);
    QM_FIELD(Time, task, m_tLastRun);
    QM_FIELD(List, task, m_vHours);
    QM_FIELD(List, task, m_vDays);
    QM_FIELD(List, task, m_vMonths);
    if (auto* file = dynamic_cast<CFileAction*>(&task)) {
        QM_FIELD(Int, *file, m_bSubfolders);
        QM_FIELD(Text, *file, m_csLocation);
        QM_FIELD(Text, *file, m_csMask);
    }
    if (auto* del = dynamic_cast<CActionDeleteFile*>(&task)) {
        QM_FIELD(Int, *del, m_nDelType);
        QM_FIELD(Int, *del, m_nWipeRounds);
    }
    if (auto* enc = dynamic_cast<CActionEncryptFile*>(&task)) {
        QM_FIELD(Text, *enc, m_csDestFolder);
        QM_FIELD(Int, *enc, m_bWipe);
        QM_FIELD(Int, *enc, m_bArchive);
        QM_FIELD(Text, *enc, m_csArchive);
        QM_FIELD(Text, *enc, m_csKeyFile);
        QM_FIELD(Text, *enc, m_csEncPassword);
        QM_FIELD(Int, *enc, m_nAlgorithm);
        QM_FIELD(Int, *enc, m_nMode);
    }
    if (auto* mail = dynamic_cast<CActionSendEmail*>(&task)) {
        QM_FIELD(Text, *mail, m_csSendTo);
        QM_FIELD(Text, *mail, m_csRecipientsFile);
        QM_FIELD(Text, *mail, m_csSenderName);
        QM_FIELD(Text, *mail, m_csSenderEmail);
        QM_FIELD(Text, *mail, m_csSubject);
        QM_FIELD(Text, *mail, m_csMessage);
        QM_FIELD(Text, *mail, m_csServer);
        QM_FIELD(Text, *mail, m_csEncoding);
        QM_FIELD(Text, *mail, m_csAttachment);
        QM_FIELD(Text, *mail, m_csViaIp);
        QM_FIELD(Int, *mail, m_bAuth);
        QM_FIELD(Text, *mail, m_csLogin);
        QM_FIELD(Text, *mail, m_csMailPassword);
    }
}

} // namespace jobkit
