#include "tasks/model/SealedText.h"

#include "tasks/model/Archive.h"
#include "uikit/UIException.h"

#include <climits>
#include <cstring>
#include <vector>

#include "corecrypt/Seal.h"

namespace jobkit {
namespace {

constexpr int kErrorTextSize = 512;
constexpr int kSealOverhead = 100;

} // namespace

void WriteSealedText(CArchive& ar, const std::string& text, const std::string& password) {
    if (text.size() > static_cast<std::size_t>(INT_MAX - kSealOverhead))
        throw CUIException(0, "Failed to encrypt document: ", "the text is too long.");
    const int length = static_cast<int>(text.size());
    std::vector<unsigned char> sealed(static_cast<std::size_t>(length) + kSealOverhead);
    int produced = static_cast<int>(sealed.size());
    char error[kErrorTextSize] = {};
    if (!SealBuffer(reinterpret_cast<const unsigned char*>(text.data()), length, sealed.data(), &produced,
                    password.c_str(), 0, 4, error, kErrorTextSize, 0)) {
        error[kErrorTextSize - 1] = '\0';
        throw CUIException(0, "Failed to encrypt document: ", error);
    }
    if (produced < 0 || produced > static_cast<int>(sealed.size()))
        throw CUIException(0, "Failed to encrypt document: ", "the sealed text does not fit.");
    ar << static_cast<std::int32_t>(produced);
    ar.Write(sealed.data(), static_cast<std::size_t>(produced));
}

std::string ReadSealedText(CArchive& ar, const std::string& password) {
    std::int32_t length = 0;
    ar >> length;
    if (length < 0 || length > INT_MAX - kSealOverhead)
        throw CArchiveException("A sealed text length in the schedule file is out of range.");
    ar.Require(static_cast<std::size_t>(length));
    std::vector<unsigned char> sealed(static_cast<std::size_t>(length));
    ar.Read(sealed.data(), sealed.size());
    std::vector<unsigned char> plain(static_cast<std::size_t>(length) + kSealOverhead, 0);
    int capacity = static_cast<int>(plain.size());
    char error[kErrorTextSize] = {};
    if (!UnsealBuffer(sealed.data(), length, plain.data(), &capacity, password.c_str(), 0, 4, error,
                      kErrorTextSize, 0)) {
        error[kErrorTextSize - 1] = '\0';
        throw CUIException(0, "Failed to decrypt document: ", error);
    }
    // The text ends at its first zero byte, which the engine puts inside the buffer.
    const auto* begin = reinterpret_cast<const char*>(plain.data());
    return std::string(begin, strnlen(begin, plain.size()));
}

} // namespace jobkit
