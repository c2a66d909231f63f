#pragma once

#include <exception>
#include <string>

// The exception of the dialog toolkit: a numeric code and up to two texts. Logic failures are
// thrown as this (or a type derived from it) and caught at the user-interface boundary, where its
// own report is shown.
class CUIException : public std::exception {
public:
    explicit CUIException(int code, const char* text = nullptr, const char* text2 = nullptr);
    CUIException(int code, std::string text, std::string text2 = {});

    int GetCode() const { return m_nCode; }
    const std::string& GetText() const { return m_csText; }
    const std::string& GetText2() const { return m_csText2; }

    // The text shown to the user: the texts on separate lines, or "Error <code>." when both
    // are empty.
    virtual std::string GetReportText() const;
    // Shows the report in an error message box with the given caption.
    void ReportError(const std::string& caption) const;

    const char* what() const noexcept override;

private:
    int m_nCode;
    std::string m_csText;
    std::string m_csText2;
    mutable std::string m_what;
};
