#pragma once

#include <cstdint>
#include <string>

// The suite's settings store. A registry key is a group of one INI file,
// $XDG_CONFIG_HOME/Quillmark/settings.ini, kept by QSettings: every write is merged into the
// file as it is on disk under a lock file and saved through a temporary file and a rename, so
// two programs (the control center and keeper) writing at once lose nothing and a crash never
// leaves a damaged file. Every read looks at the file as it is on disk now. The folder is
// private (0700), the file readable by its owner only (0600).
//
// Functions returning int give non-zero on success, as the suite's callers expect.
enum class RegRoot {
    CurrentUser,
    // The machine-wide keys of the original design. Only the start-up key has a meaning here:
    // its values are the user's autostart entries (see szStartupRun); other keys share the
    // user's file.
    LocalMachine,
};

class CQMRegistry {
public:
    // On the suite's program settings key, encreg::szEncReg, of the current user.
    CQMRegistry();
    CQMRegistry(RegRoot root, std::string keyPath);

    RegRoot GetRoot() const { return m_root; }
    const std::string& GetKeyPath() const { return m_keyPath; }

    // Texts. ReadStringEx gives the value, or the value's built-in default (the path settings
    // below) when it is absent; 0 when neither exists. The buffer form is for fixed-size
    // callers: *size holds the capacity in bytes on entry and the length including the final
    // zero on return; a value that does not fit fails and sets *size to the size needed.
    int ReadStringEx(const std::string& name, std::string& value) const;
    int ReadStringEx(const std::string& name, char* buffer, unsigned* size, void* reserved = nullptr) const;
    int WriteString(const std::string& name, const std::string& data, void* reserved = nullptr) const;

    // One byte (stored as a number 0..255); a stored value out of range reads as absent.
    int ReadBYTEEx(const std::string& name, unsigned char& value) const;
    int WriteBYTE(const std::string& name, unsigned char value) const;

    // Unsigned 32-bit numbers (window placement); signed callers cast.
    int ReadDWORDEx(const std::string& name, std::uint32_t& value) const;
    int WriteDWORD(const std::string& name, std::uint32_t value) const;

    // Raw bytes (column widths).
    int ReadBinaryEx(const std::string& name, std::string& bytes) const;
    int WriteBinary(const std::string& name, const std::string& bytes) const;

    int ValueExists(const std::string& name) const;
    // Deleting a value that does not exist succeeds.
    int DeleteValue(const std::string& name) const;

    // The encryption settings, each one byte with its default when absent:
    //   GetInOverwrite  "InOverwrite"  archive entries that exist already: 0 keep the entry,
    //                                  1 replace it, 2 replace it when older, 3 ask (default 3)
    //   GetOutOverwrite "OutOverwrite" 1: overwrite an existing encrypted file without asking
    //                                  (default 0: ask)
    //   GetRecDirs      "RecDirs"      1: add folders to archives with their subfolders (1)
    //   GetCompress     "Compress"     1: compress before encrypting (default 1)
    //   GetRestoreTime  "RestoreTime"  1: give decrypted files their stored times (default 1)
    //   GetMode         "Mode"         the default algorithm-mode code, 1..40 (default 2,
    //                                  AES in CBC mode); a stored code outside 1..40 gives 2
    // They read the program settings key (encreg::szEncReg) whatever this object is built on.
    unsigned char GetInOverwrite() const;
    unsigned char GetOutOverwrite() const;
    unsigned char GetRecDirs() const;
    unsigned char GetCompress() const;
    unsigned char GetRestoreTime() const;
    unsigned char GetMode() const;
    //   GetMailPlainAuth "MailPlainAuth" 1: a mail task may send its login and password to a
    //                                  server that offers no encryption (default 0: such a
    //                                  server is refused)
    unsigned char GetMailPlainAuth() const;
    //   GetMailPort      "MailPort"    the mail server's port when a task's server names none
    //                                  (0, the default: 25, or 465 for smtps://)
    //   GetMailSecurity  "MailSecurity" 0 STARTTLS when offered (default), 1 STARTTLS always,
    //                                  2 TLS from the start (SMTPS); other values give 0
    //   GetMailTimeout   "MailTimeout" seconds to wait for a silent mail server, 5..600
    //                                  (0, the default: the mail client's own waits)
    std::uint32_t GetMailPort() const;
    std::uint32_t GetMailSecurity() const;
    std::uint32_t GetMailTimeout() const;
    // "ExtsNotCompress": the extensions whose files are stored without compression, separated
    // by ";" and without dots; the default lists the common compressed formats.
    std::string GetExtsNotCompress() const;
    //   GetKeyServer     "KeyServer"   the key server's address, "https://host[:port][/path]"
    //                                  (default empty: none chosen yet)
    //   GetAllowPlainHttp "KeyServerPlainHttp" 1: an "http://" key server address is accepted,
    //                                  for a server on this machine or a closed network (0)
    //   GetWipeRounds    "WipeRounds"  how many times wiping overwrites a file, 1..35 (3)
    std::string GetKeyServer() const;
    unsigned char GetAllowPlainHttp() const;
    unsigned char GetWipeRounds() const;

    // The settings file, $XDG_CONFIG_HOME/Quillmark/settings.ini.
    static std::string SettingsFilePath();

private:
    RegRoot m_root;
    std::string m_keyPath;
};

namespace encreg {

// Key paths (groups of the settings file).
extern const char* const szEncReg;     // "Encryption": the program settings
extern const char* const szRegKeyman;  // "ControlCenter": the control center's settings
extern const char* const szStartupRun; // "Autostart": on RegRoot::LocalMachine, the start-up entries
// Value names.
extern const char* const szKeyFolder;    // "KeyFolder": the folder of the user's key files
extern const char* const szFileSchedule; // "ScheduleFile": the background schedule's path
extern const char* const szNoMes;        // "NoMessages": 1 reports instead of asking
extern const char* const szPubKeyFile;   // "PubKeyFile": the public key ring
extern const char* const szPrivKeyFile;  // "PrivKeyFile": the private key ring

// "MailPlainAuth": see CQMRegistry::GetMailPlainAuth.
extern const char* const szMailPlainAuth;
extern const char* const szMailPort;     // "MailPort"
extern const char* const szMailSecurity; // "MailSecurity"
extern const char* const szMailTimeout;  // "MailTimeout"
// The key server and wiping settings: see CQMRegistry::GetKeyServer and the lines after it.
extern const char* const szKeyServer;
extern const char* const szKeyServerPlainHttp;
extern const char* const szWipeRounds;

// The shared settings object, on szEncReg.
extern CQMRegistry qmreg;

} // namespace encreg

namespace misckit {

// Path settings with their built-in defaults; each creates the folder it names (or the folder
// holding the file it names) with mode 0700 when missing.
//   the key folder     szKeyFolder    $XDG_DATA_HOME/Quillmark/keys/   (kept with a final "/")
//   the schedule file  szFileSchedule $XDG_DATA_HOME/Quillmark/schedule.qms
//   the public ring    szPubKeyFile   $XDG_DATA_HOME/Quillmark/pubring.qkr
//   the private ring   szPrivKeyFile  $XDG_DATA_HOME/Quillmark/secring.qkr
// A key folder stored as the empty text stays empty: the control center then asks for one.
std::string GetKeyFolder();
// The fixed-buffer form; non-zero when the folder fitted into `size` bytes with its final zero.
int GetKeyFolder(char* buffer, unsigned size);
std::string GetScheduleFilePath();
std::string GetPubKeyFileName();
std::string GetPrivKeyFileName();
// The data folder $XDG_DATA_HOME/Quillmark (no final "/").
std::string DataFolder();

} // namespace misckit
