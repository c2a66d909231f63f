#include "misckit/ErrorList.h"

#include "uikit/Ui.h"

#include <cstdarg>
#include <cstdio>

namespace misckit {

const char* const szAppName = "Quillmark";

std::vector<std::string> vsErrorItems;

namespace {

// A line longer than this is cut: one line of the list is for a person to read.
constexpr std::size_t kMaxLine = 64 * 1024;

} // namespace

void AddErrorItem(const char* format, ...) {
    if (!format)
        return;
    va_list args;
    va_start(args, format);
    va_list probe;
    va_copy(probe, args);
    const int needed = std::vsnprintf(nullptr, 0, format, probe);
    va_end(probe);
    std::string line;
    if (needed > 0) {
        const std::size_t size =
            static_cast<std::size_t>(needed) < kMaxLine ? static_cast<std::size_t>(needed) : kMaxLine;
        line.resize(size + 1);
        std::vsnprintf(line.data(), line.size(), format, args);
        line.resize(size);
    } else if (needed < 0) {
        line = "(an error text that cannot be shown)";
    }
    va_end(args);
    vsErrorItems.push_back(std::move(line));
}

void ShowErrorList(const std::vector<std::string>& items, const std::string& title) {
    uikit::ShowList(title, items);
}

} // namespace misckit
