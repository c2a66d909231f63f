#include "tasks/model/ActionSendEmail.h"

#include "tasks/model/Archive.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "misckit/CodePage.h"
#include "netkit/Socks.h"

QM_IMPLEMENT_SERIAL(CActionSendEmail, CAction, 3)

namespace {

struct BatchState {
    int depth = 0;
    std::optional<std::vector<std::string>> encodings;
    std::optional<std::vector<std::string>> addresses;
};
thread_local BatchState t_batch;

// The list from the batch when one is open (computing it the first time), else fresh.
std::vector<std::string> Options(std::optional<std::vector<std::string>>& cached,
                                 std::vector<std::string> (*compute)()) {
    if (t_batch.depth == 0)
        return compute();
    if (!cached)
        cached = compute();
    return *cached;
}

} // namespace

namespace jobkit {

std::string EncodingOption(const std::string& codePageName, const std::string& charset) {
    if (codePageName.empty() || charset.empty())
        return {};
    // "Western European (Windows) (1252)" gives "1252": what follows the first "(", without the
    // name's last character; a name without "(" is kept whole.
    std::string part = codePageName;
    const auto open = codePageName.find('(');
    if (open != std::string::npos) {
        const std::size_t end = codePageName.size() - 1;
        part = open + 1 >= end ? std::string() : codePageName.substr(open + 1, end - (open + 1));
    }
    return part + " (" + charset + ")";
}

} // namespace jobkit

std::vector<std::string> CActionSendEmail::EncodingOptions() {
    std::vector<std::string> options;
    const misckit::CCodePage codePages;
    const misckit::CCodePageObject& installed = codePages.GetInstalled();
    for (int i = 0; i < installed.GetCount(); ++i) {
        std::string option =
            jobkit::EncodingOption(installed.GetName(i), misckit::GetCodePageCharsetName(installed[i]));
        if (!option.empty())
            options.push_back(std::move(option));
    }
    std::sort(options.begin(), options.end());
    options.erase(std::unique(options.begin(), options.end()), options.end());
    return options;
}

std::vector<std::string> CActionSendEmail::ViaIpOptions() {
    std::vector<std::string> options;
    std::array<std::uint32_t, 20> ips{};
    const int count = NetKit::Socks::get_loc_ips(ips);
    // Only the entries the call filled: the zero entries after them are no addresses.
    for (int i = 0; i < count && i < static_cast<int>(ips.size()); ++i) {
        const std::uint32_t ip = ips[static_cast<std::size_t>(i)];
        options.push_back(std::to_string(ip >> 24) + "." + std::to_string((ip >> 16) & 0xFF) + "." +
                          std::to_string((ip >> 8) & 0xFF) + "." + std::to_string(ip & 0xFF));
    }
    return options;
}

CActionSendEmail::OptionListBatch::OptionListBatch() {
    ++t_batch.depth;
}

CActionSendEmail::OptionListBatch::~OptionListBatch() {
    if (--t_batch.depth == 0) {
        t_batch.encodings.reset();
        t_batch.addresses.reset();
    }
}

CActionSendEmail::CActionSendEmail() {
    SetSendmailProps();
}

CActionSendEmail::CActionSendEmail(const CActionSendEmail* other)
    : CAction(other), m_csSendTo(other->m_csSendTo), m_csRecipientsFile(other->m_csRecipientsFile),
      m_csSenderName(other->m_csSenderName), m_csSenderEmail(other->m_csSenderEmail),
      m_csSubject(other->m_csSubject), m_csMessage(other->m_csMessage), m_csServer(other->m_csServer),
      m_csEncoding(other->m_csEncoding), m_csAttachment(other->m_csAttachment), m_csViaIp(other->m_csViaIp),
      m_bAuth(other->m_bAuth), m_csLogin(other->m_csLogin), m_csMailPassword(other->m_csMailPassword) {
    SetSendmailProps();
}

void CActionSendEmail::SetSendmailProps() {
    auto add = [this](const char* label, CPropertyItem::EditorKind kind, auto* field) -> CPropertyItem& {
        CPropertyItem item(label, kind);
        item.Connect(field);
        if (kind == CPropertyItem::Text || kind == CPropertyItem::Masked)
            item.m_dwEditStyle = CPropertyItem::kPlainEditStyle;
        m_arProps.push_back(std::move(item));
        return m_arProps.back();
    };
    CPropertyItem& attach = add("Attach file", CPropertyItem::File, &m_csAttachment);
    attach.m_csFilter = "All files (*.*)";
    attach.m_csTitle = "Select a file to attach";
    add("Encoding", CPropertyItem::Choice, &m_csEncoding).m_vOptions =
        Options(t_batch.encodings, &EncodingOptions);
    add("Send to", CPropertyItem::Text, &m_csSendTo);
    CPropertyItem& recipients = add("Recipients list", CPropertyItem::File, &m_csRecipientsFile);
    recipients.m_csFilter = "All files (*.*)";
    recipients.m_csTitle = "Select a file with recipients list";
    recipients.m_dwFlags = CPropertyItem::kPathMustExist;
    add("Message text", CPropertyItem::LongText, &m_csMessage);
    add("Mail server", CPropertyItem::Text, &m_csServer);
    add("Sender's email", CPropertyItem::Text, &m_csSenderEmail);
    add("Sender's name", CPropertyItem::Text, &m_csSenderName);
    add("Message subject", CPropertyItem::Text, &m_csSubject);
    add("Via IP:", CPropertyItem::Choice, &m_csViaIp).m_vOptions = Options(t_batch.addresses, &ViaIpOptions);
    add("Server authentication", CPropertyItem::Choice, &m_bAuth).m_vOptions = CPropertyItem::NoYes();
    add("Login", CPropertyItem::Text, &m_csLogin);
    // Unlike the encrypt kind's password row, this one shows what is typed.
    add("Password", CPropertyItem::Masked, &m_csMailPassword);
}

void CActionSendEmail::DoAction(ACTIONSTRUCT_*) {}

int CActionSendEmail::GetAction() const {
    return m_csAttachment.empty() ? 8 : 9;
}

void CActionSendEmail::Serialize(CArchive& ar) {
    SerializeBasePart([&] { CAction::Serialize(ar); });
    for (std::string* text :
         {&m_csAttachment, &m_csEncoding, &m_csRecipientsFile, &m_csMessage, &m_csViaIp, &m_csServer,
          &m_csSendTo, &m_csSenderEmail, &m_csSenderName, &m_csSubject, &m_csLogin, &m_csMailPassword})
        SerializeString(ar, *text);
    ar.Exchange(m_bAuth);
}
