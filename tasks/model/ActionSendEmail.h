#pragma once

#include "tasks/model/Action.h"

// Sends one e-mail message, with or without an attached file.
class CActionSendEmail : public CAction {
    QM_DECLARE_SERIAL(CActionSendEmail)
public:
    CActionSendEmail();
    explicit CActionSendEmail(const CActionSendEmail* other);

    void Serialize(CArchive& ar) override;
    void DoAction(ACTIONSTRUCT_* action) override;
    int GetAction() const override;

    std::string m_csSendTo;
    std::string m_csRecipientsFile;
    std::string m_csSenderName;
    std::string m_csSenderEmail;
    std::string m_csSubject;
    std::string m_csMessage;
    std::string m_csServer;
    std::string m_csEncoding;
    std::string m_csAttachment;
    std::string m_csViaIp;
    std::int32_t m_bAuth = 0;
    std::string m_csLogin;
    std::string m_csMailPassword;

    // The "Encoding" options: "<code page> (<character-set name>)", sorted, without duplicates.
    static std::vector<std::string> EncodingOptions();
    // The "Via IP:" options: the machine's IPv4 addresses in dotted form.
    static std::vector<std::string> ViaIpOptions();

private:
    void SetSendmailProps();
};
