#pragma once

#include <string>

class CArchive;

namespace jobkit {

// The sealed string form: an int32 length, then the bytes the engine sealed with the document
// password. Failures throw CUIException(0, "Failed to encrypt document: " / "Failed to decrypt
// document: ", the engine's reason).
void WriteSealedText(CArchive& ar, const std::string& text, const std::string& password);
std::string ReadSealedText(CArchive& ar, const std::string& password);

} // namespace jobkit
