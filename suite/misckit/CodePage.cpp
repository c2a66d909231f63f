#include "misckit/CodePage.h"

#include <iconv.h>
#include <mutex>

namespace misckit {
namespace {

struct KnownPage {
    unsigned number;
    const char* description;
    const char* charset;
};

// Lower-case character-set names, as mail headers usually carry them.
const KnownPage kKnownPages[] = {
    {437, "OEM United States", "ibm437"},
    {775, "OEM Baltic", "ibm775"},
    {850, "OEM Multilingual Latin 1", "ibm850"},
    {852, "OEM Latin 2", "ibm852"},
    {855, "OEM Cyrillic", "ibm855"},
    {857, "OEM Turkish", "ibm857"},
    {860, "OEM Portuguese", "ibm860"},
    {861, "OEM Icelandic", "ibm861"},
    {862, "OEM Hebrew", "ibm862"},
    {863, "OEM French Canadian", "ibm863"},
    {865, "OEM Nordic", "ibm865"},
    {866, "OEM Russian", "cp866"},
    {869, "OEM Modern Greek", "ibm869"},
    {874, "Thai Windows", "windows-874"},
    {932, "Japanese Shift-JIS", "shift_jis"},
    {936, "Chinese Simplified GBK", "gbk"},
    {950, "Chinese Traditional Big5", "big5"},
    {1200, "Unicode UTF-16 little endian", "utf-16le"},
    {1201, "Unicode UTF-16 big endian", "utf-16be"},
    {1250, "Central European Windows", "windows-1250"},
    {1251, "Cyrillic Windows", "windows-1251"},
    {1252, "Western European Windows", "windows-1252"},
    {1253, "Greek Windows", "windows-1253"},
    {1254, "Turkish Windows", "windows-1254"},
    {1255, "Hebrew Windows", "windows-1255"},
    {1256, "Arabic Windows", "windows-1256"},
    {1257, "Baltic Windows", "windows-1257"},
    {1258, "Vietnamese Windows", "windows-1258"},
    {10000, "Western European Mac", "macintosh"},
    {12000, "Unicode UTF-32 little endian", "utf-32le"},
    {12001, "Unicode UTF-32 big endian", "utf-32be"},
    {20127, "US-ASCII", "us-ascii"},
    {20866, "Cyrillic KOI8-R", "koi8-r"},
    {21866, "Cyrillic KOI8-U", "koi8-u"},
    {28591, "Western European ISO", "iso-8859-1"},
    {28592, "Central European ISO", "iso-8859-2"},
    {28593, "Latin 3 ISO", "iso-8859-3"},
    {28594, "Baltic ISO", "iso-8859-4"},
    {28595, "Cyrillic ISO", "iso-8859-5"},
    {28596, "Arabic ISO", "iso-8859-6"},
    {28597, "Greek ISO", "iso-8859-7"},
    {28598, "Hebrew ISO Visual", "iso-8859-8"},
    {28599, "Turkish ISO", "iso-8859-9"},
    {28603, "Estonian ISO", "iso-8859-13"},
    {28605, "Latin 9 ISO", "iso-8859-15"},
    {50220, "Japanese JIS", "iso-2022-jp"},
    {50225, "Korean ISO", "iso-2022-kr"},
    {51932, "Japanese EUC", "euc-jp"},
    {51936, "Chinese Simplified EUC", "gb2312"},
    {51949, "Korean EUC", "euc-kr"},
    {54936, "Chinese Simplified GB18030", "gb18030"},
    {65000, "Unicode UTF-7", "utf-7"},
    {65001, "Unicode UTF-8", "utf-8"},
};

bool IconvConverts(const char* charset) {
    const iconv_t cd = ::iconv_open(charset, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    ::iconv_close(cd);
    return true;
}

// The table as this machine's iconv sees it, checked once.
const std::vector<const KnownPage*>& Usable() {
    static std::vector<const KnownPage*> usable;
    static std::once_flag once;
    std::call_once(once, [] {
        for (const auto& page : kKnownPages)
            if (IconvConverts(page.charset))
                usable.push_back(&page);
    });
    return usable;
}

} // namespace

unsigned CCodePageObject::operator[](int index) const {
    return index >= 0 && index < GetCount() ? m_pages[static_cast<std::size_t>(index)].number : 0;
}

std::string CCodePageObject::GetName(int index) const {
    return index >= 0 && index < GetCount() ? m_pages[static_cast<std::size_t>(index)].name : std::string();
}

CCodePage::CCodePage() {
    for (const KnownPage* page : Usable())
        m_installed.m_pages.push_back(
            {page->number, std::string(page->description) + " (" + std::to_string(page->number) + ")"});
}

std::string GetCodePageCharsetName(unsigned codePage) {
    for (const KnownPage* page : Usable())
        if (page->number == codePage)
            return page->charset;
    return {};
}

} // namespace misckit
