#include "uikit/UIException.h"

#include "uikit/Ui.h"

CUIException::CUIException(int code, const char* text, const char* text2)
    : m_nCode(code), m_csText(text ? text : ""), m_csText2(text2 ? text2 : "") {}

CUIException::CUIException(int code, std::string text, std::string text2)
    : m_nCode(code), m_csText(std::move(text)), m_csText2(std::move(text2)) {}

std::string CUIException::GetReportText() const {
    if (m_csText.empty() && m_csText2.empty())
        return "Error " + std::to_string(m_nCode) + ".";
    if (m_csText2.empty())
        return m_csText;
    if (m_csText.empty())
        return m_csText2;
    return m_csText + "\n" + m_csText2;
}

void CUIException::ReportError(const std::string& caption) const {
    uikit::MessageBox(GetReportText(), caption, uikit::Buttons::OK, uikit::Icon::Error);
}

const char* CUIException::what() const noexcept {
    try {
        m_what = GetReportText();
    } catch (...) {
        return "CUIException";
    }
    return m_what.c_str();
}
