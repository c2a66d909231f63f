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

    // While one lives, the send-mail tasks built on this thread share one computation of the two
    // option lists: a schedule file of thousands of tasks would otherwise ask the system for its
    // addresses thousands of times. Each task still gets its own copy of the lists.
    class OptionListBatch {
    public:
        OptionListBatch();
        ~OptionListBatch();
        OptionListBatch(const OptionListBatch&) = delete;
        OptionListBatch& operator=(const OptionListBatch&) = delete;
    };

private:
    void SetSendmailProps();
};

namespace jobkit {
// One "Encoding" option from a code page's name and its character-set name; empty when either is.
std::string EncodingOption(const std::string& codePageName, const std::string& charset);
} // namespace jobkit
