#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// A private folder (mode 0700) below the runtime folder for the files a pipe passes through: the
// bytes of standard input before they are encrypted or decrypted, and a result before it goes to
// standard output. Everything in it is removed when it goes.
class ScratchFolder {
public:
    ScratchFolder() = default;
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Creates the folder on first use; its path, or empty with a reason in `error`.
    const std::string& Path(std::string& error);
    // Its path when it was created, else empty.
    const std::string& Existing() const { return m_path; }

private:
    std::string m_path;
};

// Copies everything from `from` to `to` until `from` ends. `copied`, when given, hears the bytes
// done so far after each block. False with a readable reason.
bool CopyStream(int from, int to, std::string& error,
                const std::function<void(std::uint64_t)>& copied = nullptr);
// The same from or to a named file (created with mode 0600, never replacing one).
bool CopyStreamToNewFile(int from, const std::string& path, std::string& error);
bool CopyFileToStream(const std::string& path, int to, std::string& error);

// True when the first bytes look like text a terminal can show: no NUL and no control characters
// other than tab, line ends, form feed, backspace and escape.
bool LooksLikeText(const std::string& path);

} // namespace platform
