#include "shellkit/ConsoleCommands.h"

#include "corecrypt/Archive.h"
#include "corecrypt/EncryptedFile.h"
#include "corecrypt/FileProcessor.h"
#include "corecrypt/KeyFile.h"
#include "corecrypt/Paths.h"
#include "corecrypt/Primitives.h"
#include "corecrypt/QMException.h"
#include "corecrypt/Wipe.h"
#include "misckit/Registry.h"
#include "platform/Clock.h"
#include "uikit/Ui.h"

#include <cctype>
#include <charconv>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace shellkit {
namespace {

const char kCaption[] = "qmcenter";

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

using corecrypt::BaseName;
using corecrypt::IsDirectory;

std::string AllNames(const char* (*name)(int), int count) {
    std::string s;
    for (int i = 0; i < count; ++i)
        s += (i ? ", " : "") + std::string(name(i));
    return s;
}

struct Options {
    std::string verb;
    std::optional<std::string> password, passwordFile, key, algorithm, mode, output, makeKey, archive;
    bool compress = false, wipe = false, overwrite = false, restoreTimes = false, list = false;
    std::vector<std::string> paths;
    std::vector<std::string> entries; // --entry, repeated
};

class Command {
public:
    Command(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    int Run(const std::vector<std::string>& args) {
        if (!Parse(args))
            return 1;
        return m_options.verb == "encrypt" ? Encrypt() : Decrypt();
    }

private:
    void Fail(const std::string& file, std::string reason) {
        // The engine's texts may already begin with the file's name.
        if (!file.empty() && reason.rfind(file + ": ", 0) == 0)
            reason.erase(0, file.size() + 2);
        m_err << "qmcenter: " << (file.empty() ? "" : file + ": ") << reason << '\n';
        ++m_failures;
    }

    bool Usage(const std::string& reason) {
        m_err << "qmcenter: " << reason << '\n' << ConsoleUsage();
        return false;
    }

    bool Parse(const std::vector<std::string>& args) {
        Options& o = m_options;
        o.verb = args.empty() ? "" : Lower(args[0]);
        if (!IsConsoleVerb(o.verb))
            return Usage("unknown command");
        const bool encrypt = o.verb == "encrypt";
        std::map<std::string, std::optional<std::string>*> valued = {{"--password", &o.password},
                                                                     {"--password-file", &o.passwordFile},
                                                                     {"--key", &o.key},
                                                                     {"--output", &o.output}};
        if (encrypt) {
            valued["--algorithm"] = &o.algorithm;
            valued["--mode"] = &o.mode;
            valued["--make-key"] = &o.makeKey;
            valued["--archive"] = &o.archive;
        }
        std::map<std::string, bool*> flags;
        if (encrypt)
            flags = {{"--compress", &o.compress}, {"--wipe", &o.wipe}};
        else
            flags = {
                {"--overwrite", &o.overwrite}, {"--restore-times", &o.restoreTimes}, {"--list", &o.list}};
        bool optionsEnded = false;
        for (std::size_t i = 1; i < args.size(); ++i) {
            std::string a = args[i];
            if (optionsEnded || a.size() < 2 || a.compare(0, 2, "--") != 0) {
                o.paths.push_back(a);
                continue;
            }
            if (a == "--") {
                optionsEnded = true;
                continue;
            }
            std::optional<std::string> inlineValue;
            if (const auto eq = a.find('='); eq != std::string::npos) {
                inlineValue = a.substr(eq + 1);
                a.resize(eq);
            }
            if (auto f = flags.find(a); f != flags.end() && !inlineValue) {
                *f->second = true;
            } else if (a == "--entry" && !encrypt) {
                if (!inlineValue && i + 1 >= args.size())
                    return Usage("the option --entry needs a value");
                o.entries.push_back(inlineValue ? *inlineValue : args[++i]);
            } else if (auto v = valued.find(a); v != valued.end()) {
                if (!inlineValue && i + 1 >= args.size())
                    return Usage("the option " + a + " needs a value");
                *v->second = inlineValue ? *inlineValue : args[++i];
            } else {
                return Usage("unknown option " + args[i]);
            }
        }
        const int secrets = (o.password ? 1 : 0) + (o.passwordFile ? 1 : 0) + (o.key ? 1 : 0);
        if (secrets > 1)
            return Usage("give only one of --password, --password-file and --key");
        if (o.makeKey) {
            if (secrets || !o.paths.empty())
                return Usage("--make-key takes only the key file name");
            return true;
        }
        if (o.paths.empty())
            return Usage(encrypt ? "no file to encrypt" : "no file to decrypt");
        if (o.output && !IsDirectory(*o.output))
            return Usage(corecrypt::PathExists(*o.output)
                             ? "the output " + *o.output + " is a file; --output names a folder"
                             : "the output folder " + *o.output + " does not exist");
        return true;
    }

    // The password from the options, the password file or the terminal; nothing after a failure.
    std::optional<std::string> Password(bool confirm) {
        if (m_password)
            return m_password;
        const Options& o = m_options;
        if (o.password) {
            m_password = o.password;
        } else if (o.passwordFile) {
            std::ifstream in(*o.passwordFile, std::ios::binary);
            std::string line;
            if (!in || !std::getline(in, line)) {
                Fail(*o.passwordFile, "cannot read the password file");
                return std::nullopt;
            }
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            m_password = line;
        } else {
            auto first = uikit::AskText({"Password:", kCaption, true, {}});
            if (!first) {
                Fail("", "no password given (use --password, --password-file or --key)");
                return std::nullopt;
            }
            if (confirm) {
                auto second = uikit::AskText({"Repeat the password:", kCaption, true, {}});
                if (!second || *second != *first) {
                    Fail("", "the passwords do not match");
                    return std::nullopt;
                }
            }
            m_password = first;
        }
        if (m_password->empty()) {
            m_password.reset();
            Fail("", "the password is empty");
            return std::nullopt;
        }
        return m_password;
    }

    bool ResolveCode(int& code) {
        const int fallback = DefaultAlgorithmMode();
        int algorithm = (fallback - 1) / corecrypt::kModeCount;
        int mode = (fallback - 1) % corecrypt::kModeCount;
        if (m_options.algorithm) {
            algorithm = corecrypt::FindAlgorithm(*m_options.algorithm);
            if (algorithm < 0)
                return Usage("unknown algorithm " + *m_options.algorithm + " (one of " +
                             AllNames(corecrypt::AlgorithmName, corecrypt::kAlgorithmCount) + ")");
        }
        if (m_options.mode) {
            mode = corecrypt::FindMode(*m_options.mode);
            if (mode < 0)
                return Usage("unknown mode " + *m_options.mode + " (one of " +
                             AllNames(corecrypt::ModeName, corecrypt::kModeCount) + ")");
        }
        code = algorithm * corecrypt::kModeCount + mode + 1;
        return true;
    }

    // Files as given; a folder stands for every file below it.
    std::vector<std::string> ExpandPaths() {
        std::vector<std::string> files;
        for (const std::string& p : m_options.paths) {
            if (IsDirectory(p)) {
                CFileProcessor folder;
                folder.AddFile(p, "", 0, nullptr);
                files.insert(files.end(), folder.GetFiles().begin(), folder.GetFiles().end());
            } else if (!corecrypt::PathExists(p)) {
                Fail(p, "no such file or folder");
            } else {
                files.push_back(p);
            }
        }
        return files;
    }

    int Encrypt() {
        const Options& o = m_options;
        if (o.makeKey) {
            char error[2000] = "";
            if (!CreateKeyFile(o.makeKey->c_str(), error, sizeof error))
                Fail(*o.makeKey, error);
            else
                m_out << "Created the key file " << *o.makeKey << '\n';
            return m_failures ? 1 : 0;
        }
        int code = 0;
        if (!ResolveCode(code))
            return 1;
        if (o.archive)
            return EncryptIntoArchive(code);
        const std::vector<std::string> files = ExpandPaths();
        std::optional<std::string> secret = o.key;
        if (!secret && !files.empty())
            secret = Password(true);
        if (!secret)
            return 1;
        for (const std::string& file : files) {
            const std::string dest = (o.output ? *o.output + "/" + BaseName(file) : file) + ".qmp";
            if (corecrypt::PathExists(dest)) {
                Fail(file, "the encrypted file " + dest + " already exists");
                continue;
            }
            std::string error;
            // A file about to be wiped goes only once its encrypted copy read back as its bytes.
            platform::FileSnapshot read;
            if (!(o.wipe ? corecrypt::EncryptFileVerified(file, dest, *secret, o.key.has_value(), code,
                                                          o.compress, &read, error)
                         : corecrypt::EncryptFile(file, dest, *secret, o.key.has_value(), code, o.compress,
                                                  error))) {
                Fail(file, error);
                continue;
            }
            m_out << "Encrypted " << file << " -> " << dest << '\n';
            if (o.wipe) {
                char wipeError[2000] = "";
                platform::FileSnapshot now;
                if (!platform::TakeSnapshot(file, now) || !(now == read))
                    Fail(file, "encrypted, but not wiped: the file changed after it was encrypted");
                else if (!WipeFile(file.c_str(), wipeError, sizeof wipeError, encreg::qmreg.GetWipeRounds(),
                                   0))
                    Fail(file, std::string("encrypted, but not wiped: ") + wipeError);
                else
                    m_out << "Wiped " << file << '\n';
            }
        }
        return m_failures ? 1 : 0;
    }

    // The secret that opens an encrypted file or archive whose header asks for `keyFile`.
    std::optional<std::string> SecretFor(const std::string& file, bool keyFile, bool& stop) {
        const Options& o = m_options;
        stop = false;
        if (keyFile) {
            if (!o.key)
                Fail(file, "this file was encrypted with a key file (use --key)");
            return o.key;
        }
        if (o.key) {
            Fail(file, "this file was encrypted with a password, not a key file");
            return std::nullopt;
        }
        auto secret = Password(false);
        stop = !secret;
        return secret;
    }

    // Adds the paths to the archive (created when missing); entries that exist already follow
    // the archive overwrite setting, asked on the terminal when it says so. A file whose entry
    // was kept without a person saying so is a failure; with --wipe only the files added and read
    // back are wiped.
    int EncryptIntoArchive(int code) {
        const Options& o = m_options;
        const std::string& archive = *o.archive;
        std::optional<std::string> secret = o.key;
        if (!secret)
            secret = Password(!corecrypt::PathExists(archive));
        if (!secret)
            return 1;
        corecrypt::ArchiveAddOptions options;
        options.overwrite = encreg::qmreg.GetInOverwrite();
        options.compress = o.compress;
        options.extensionsNotCompressed = encreg::qmreg.GetExtsNotCompress();
        options.recurse = true;
        options.algorithmMode = code;
        std::vector<corecrypt::AddedSource> added;
        options.added = &added;
        std::string error;
        std::vector<corecrypt::ArchiveSource> files;
        try {
            if (!corecrypt::CollectArchiveSources(o.paths, true, files, error) ||
                !corecrypt::AddToArchive(archive, o.paths, *secret, o.key.has_value(), options, error)) {
                Fail(archive, error);
                return 1;
            }
        } catch (const CQMException& e) {
            Fail(archive, e.GetReportText());
            return 1;
        }
        std::map<std::string, const corecrypt::AddedSource*> byPath;
        for (const corecrypt::AddedSource& a : added)
            byPath[a.path] = &a;
        const bool askedSomeone = options.overwrite == corecrypt::kAskEntry && ::isatty(0);
        platform::FileSnapshot self;
        platform::TakeSnapshot(archive, self);
        int count = 0;
        for (const corecrypt::ArchiveSource& file : files) {
            platform::FileSnapshot source;
            if (platform::TakeSnapshot(file.path, source) && source.SameFile(self))
                continue; // the archive never goes into itself
            const auto it = byPath.find(file.path);
            if (it == byPath.end()) {
                if (!askedSomeone || o.wipe)
                    Fail(file.path, "not added: the archive keeps its entry " + file.entry);
                continue;
            }
            if (!it->second->verified) {
                Fail(file.path, "added, but its entry does not read back: " + it->second->error);
                continue;
            }
            ++count;
            if (!o.wipe)
                continue;
            platform::FileSnapshot now;
            char wipeError[2000] = "";
            if (!platform::TakeSnapshot(file.path, now) || !(now == it->second->snapshot))
                Fail(file.path, "added, but not wiped: the file changed after it was added");
            else if (!WipeFile(file.path.c_str(), wipeError, sizeof wipeError, encreg::qmreg.GetWipeRounds(),
                               0))
                Fail(file.path, std::string("added, but not wiped: ") + wipeError);
            else
                m_out << "Wiped " << file.path << '\n';
        }
        m_out << "Added " << count << (count == 1 ? " file" : " files") << " to " << archive << '\n';
        return m_failures ? 1 : 0;
    }

    // False when no password could be had, which ends the run.
    bool DecryptArchive(const std::string& archive, bool keyFile) {
        const Options& o = m_options;
        bool stop = false;
        const std::optional<std::string> secret = SecretFor(archive, keyFile, stop);
        if (!secret)
            return !stop;
        std::string error;
        try {
            if (o.list) {
                std::vector<corecrypt::ArchiveEntry> entries;
                if (!corecrypt::ListArchive(archive, *secret, keyFile, entries, error)) {
                    Fail(archive, error);
                    return true;
                }
                // One write for the whole listing.
                std::string text;
                text.reserve(entries.size() * 64);
                for (const auto& e : entries) {
                    char size[24];
                    const auto end = std::to_chars(size, size + sizeof size, e.size).ptr;
                    text.append(e.path).append(1, '\t').append(size, end).append(1, '\t');
                    text.append(platform::LocalTimeText(e.modified)).append(1, '\n');
                }
                m_out.write(text.data(), static_cast<std::streamsize>(text.size()));
                return true;
            }
            corecrypt::ArchiveExtractOptions options;
            options.overwrite = o.overwrite;
            options.restoreTimes = o.restoreTimes;
            std::vector<std::string> written;
            const bool ok = corecrypt::ExtractArchive(archive, o.entries, o.output.value_or("."), *secret,
                                                      keyFile, options, &written, error);
            for (const std::string& w : written)
                m_out << "Decrypted " << archive << " -> " << w << '\n';
            if (!ok)
                Fail(archive, error);
        } catch (const CQMException& e) {
            Fail(archive, e.GetReportText());
        }
        return true;
    }

    int Decrypt() {
        const Options& o = m_options;
        const std::vector<std::string> files = ExpandPaths();
        if ((o.list || !o.entries.empty()) && files.size() != 1) {
            Usage("--list and --entry take exactly one archive");
            return 1;
        }
        for (const std::string& file : files) {
            bool keyFile = false;
            bool archive = false;
            int code = 0;
            std::string error;
            if (!corecrypt::ReadEncryptedFileInfo(file, keyFile, code, error, &archive)) {
                Fail(file, error);
                continue;
            }
            if (archive) {
                if (!DecryptArchive(file, keyFile))
                    return 1;
                continue;
            }
            if (o.list || !o.entries.empty()) {
                Fail(file, "this is an encrypted file, not an archive");
                continue;
            }
            bool stop = false;
            const std::optional<std::string> secret = SecretFor(file, keyFile, stop);
            if (stop)
                return 1;
            if (!secret)
                continue;
            std::string written;
            if (!corecrypt::DecryptFile(file, o.output.value_or(""), *secret, o.overwrite, o.restoreTimes,
                                        &written, error))
                Fail(file, error);
            else
                m_out << "Decrypted " << file << " -> " << written << '\n';
        }
        return m_failures ? 1 : 0;
    }

    std::ostream& m_out;
    std::ostream& m_err;
    Options m_options;
    std::optional<std::string> m_password;
    int m_failures = 0;
};

} // namespace

std::string ConsoleUsage() {
    return "Usage: qmcenter encrypt [--password PW | --password-file F | --key KEYFILE] [--algorithm NAME]\n"
           "                        [--mode NAME] [--compress] [--wipe] [--output DIR] PATH...\n"
           "       qmcenter encrypt --archive ARCHIVE.qma [options as above] PATH...\n"
           "       qmcenter encrypt --make-key KEYFILE\n"
           "       qmcenter decrypt [--password PW | --password-file F | --key KEYFILE] [--output DIR]\n"
           "                        [--overwrite] [--restore-times] [--entry NAME]... FILE...\n"
           "       qmcenter decrypt --list ARCHIVE.qma\n";
}

bool IsConsoleVerb(const std::string& word) {
    const std::string w = Lower(word);
    return w == "encrypt" || w == "decrypt";
}

int DefaultAlgorithmMode() {
    return encreg::qmreg.GetMode(); // always a valid code: AES/CBC when none is stored
}

int ProcessCmdLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    return Command(out, err).Run(arguments);
}

int ProcessCmdLine(const std::string& commandLine) {
    return ProcessCmdLine(SplitCommandLine(commandLine), std::cout, std::cerr);
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (c == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
            word += line[++i];
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

} // namespace shellkit
