#pragma once

// Encrypted files (".qmp"). One source file becomes one encrypted file holding its name, size,
// times and (optionally compressed) bytes, encrypted with the chosen algorithm and mode and
// authenticated chunk by chunk.

// Encrypts `source` into `destination` (replaced only once it is complete) with the key file at
// `keyOrPassword` (isKeyFile 1) or the password `keyOrPassword` (isKeyFile 0). algorithmMode is
// algorithm * 4 + mode + 1, or 0 for the default. Non-zero when the encrypted file was written.
int EncryptFileTo(const char* source, const char* destination, const char* keyOrPassword, int isKeyFile,
                  int algorithmMode, int compress, char* errorText, int errorTextSize, int reserved0,
                  int reserved0b);

// Decrypts `source` into `destination`: a file path, or a folder (existing, or given with a
// trailing "/") that receives the stored name; empty means the source's folder. `keyOrPassword`
// is the key file or the password, whichever the file was encrypted with. An existing output is
// replaced only with `overwrite`; `restoreTimes` sets the stored times. Nothing is written unless
// every byte verified. Non-zero when the decrypted file was written.
int DecryptFileTo(const char* source, const char* destination, const char* keyOrPassword, int overwrite,
                  int restoreTimes, char* errorText, int errorTextSize);

#include "platform/RegularFile.h"

#include <string>

namespace corecrypt {
// The same, for C++ callers (the console commands): `written` receives the decrypted file's path.
bool EncryptFile(const std::string& source, const std::string& destination, const std::string& keyOrPassword,
                 bool keyFile, int algorithmMode, bool compress, std::string& error);
// EncryptFile, then the proof that the source may go: the encrypted file, once in place, is read
// back and decrypted under the keys it was written with, and its bytes are compared with the
// source's. `snapshot` receives the source as it was read; a source that changed meanwhile fails.
bool EncryptFileVerified(const std::string& source, const std::string& destination,
                         const std::string& keyOrPassword, bool keyFile, int algorithmMode, bool compress,
                         platform::FileSnapshot* snapshot, std::string& error);
bool DecryptFile(const std::string& source, const std::string& destination, const std::string& keyOrPassword,
                 bool overwrite, bool restoreTimes, std::string* written, std::string& error);
// What the header of an encrypted file says: key file or password, and the algorithm-mode code.
// `archive`, when given, tells an encrypted archive from an encrypted file.
bool ReadEncryptedFileInfo(const std::string& path, bool& keyFile, int& algorithmMode, std::string& error,
                           bool* archive = nullptr);
} // namespace corecrypt
