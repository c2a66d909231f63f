#pragma once

#include <string>
#include <vector>

// The code pages the suite offers for mail texts: a built-in table of common code pages, kept to
// those whose character set iconv converts on this machine.
namespace misckit {

class CCodePageObject { // the installed list
public:
    int GetCount() const { return static_cast<int>(m_pages.size()); }
    // The code-page number, e.g. 1252; 0 for an index out of range.
    unsigned operator[](int index) const;
    // The code page's name with its number in brackets, e.g. "Western European Windows (1252)";
    // empty for an index out of range.
    std::string GetName(int index) const;

private:
    friend class CCodePage;
    struct Page {
        unsigned number;
        std::string name;
    };
    std::vector<Page> m_pages;
};

class CCodePage {
public:
    CCodePage();
    const CCodePageObject& GetInstalled() const { return m_installed; }

private:
    CCodePageObject m_installed;
};

// The internet (IANA) character-set name of a code page, e.g. "windows-1252"; empty when
// unknown. Only code pages that iconv converts are listed.
std::string GetCodePageCharsetName(unsigned codePage);

} // namespace misckit
