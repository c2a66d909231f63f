#include "tasks/model/FileMaskText.h"

#include "uikit/UIException.h"

#include <algorithm>
#include <cctype>

namespace filemask {

namespace {
std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}
} // namespace

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> masks;
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t bar = text.find('|', from);
        if (bar == std::string::npos)
            bar = text.size();
        if (bar > from)
            masks.push_back(Lower(text.substr(from, bar - from)));
        from = bar + 1;
    }
    return masks;
}

bool IsFileType(const std::string& mask) {
    return mask.size() > 2 && mask.compare(0, 2, "*.") == 0 && mask.find('*', 2) == std::string::npos &&
           mask.find('?') == std::string::npos;
}

std::string Extension(const std::string& mask) {
    return mask.size() > 2 ? mask.substr(2) : std::string();
}

bool Add(std::string& text, const std::string& mask) {
    const std::string piece = "|" + Lower(mask) + "|";
    if (Lower(text).find(piece) != std::string::npos)
        return false;
    if (text.empty())
        text = "|";
    else if (text.back() != '|')
        text += '|';
    text += piece.substr(1);
    return true;
}

void Remove(std::string& text, const std::string& mask, const char* notFound) {
    const std::string piece = "|" + Lower(mask) + "|";
    const std::size_t at = Lower(text).find(piece);
    if (at == std::string::npos)
        throw CUIException(0, notFound);
    text.erase(at + 1, piece.size() - 1); // the "|" before it now stands between the neighbours
    if (text == "|")
        text.clear();
}

std::string FromExtensions(const std::vector<std::string>& extensions) {
    if (extensions.empty())
        return {};
    std::string text = "|";
    for (const std::string& ext : extensions)
        text += "*" + ext + "|";
    return Lower(text);
}

} // namespace filemask
