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
#include "platform/ScratchFolder.h"
#include "shellkit/ConsoleProgress.h"
#include "uikit/Ui.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
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

// "-" as a source or an output stands for standard input or output.
const char kStdio[] = "-";

struct Options {
    std::string verb;
    std::optional<std::string> password, passwordFile, key, algorithm, mode, output, makeKey, archive;
    bool compress = false, wipe = false, overwrite = false, list = false;
    bool restoreTimes = false, noRestoreTimes = false;
    bool toStdout() const { return output && *output == kStdio; }
    std::vector<std::string> paths;
    std::vector<std::string> entries; // --entry, repeated
};

class Command {
public:
    Command(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    int Run(const std::vector<std::string>& args) {
        if (!Parse(args))
            return 1;
        // Encrypted bytes are never shown on a terminal, and nothing is read before that is known.
        if (m_options.toStdout() && m_options.verb == "encrypt" && ::isatty(STDOUT_FILENO)) {
            Fail("", "refusing to write encrypted data to a terminal; redirect standard output to a "
                     "file or a pipe, or use --output DIR");
            return 1;
        }
        return m_options.verb == "encrypt" ? Encrypt() : Decrypt();
    }

private:
    void Fail(std::string file, std::string reason) {
        // The engine's texts may already begin with the file's name. The files that pipes pass
        // through are named by what they stand for.
        for (std::string* text : {&file, &reason})
            for (const char* name : {"/stdin.qmp", "/stdin", "/out.qmp"})
                if (const std::string& scratch = m_scratch.Existing(); !scratch.empty())
                    for (auto at = text->find(scratch + name); at != std::string::npos;
                         at = text->find(scratch + name))
                        text->replace(at, scratch.size() + std::strlen(name),
                                      name[1] == 'o' ? "standard output" : "standard input");
        if (!file.empty() && reason.rfind(file + ": ", 0) == 0)
            reason.erase(0, file.size() + 2);
        const auto hold = m_progress.Hold();
        m_err << "qmcenter: " << (file.empty() ? "" : file + ": ") << reason << std::endl;
        ++m_failures;
    }

    // A line of what was done. With the result on standard output it goes to the error stream,
    // so that the output holds the result's bytes alone.
    void Say(const std::string& line) {
        const auto hold = m_progress.Hold();
        (m_options.toStdout() ? m_err : m_out) << line << std::endl;
    }

    void Note(const std::string& line) {
        const auto hold = m_progress.Hold();
        m_err << "qmcenter: " << line << std::endl;
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
                                                                     {"--output", &o.output},
                                                                     {"-o", &o.output}};
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
            flags = {{"--overwrite", &o.overwrite},
                     {"--restore-times", &o.restoreTimes},
                     {"--no-restore-times", &o.noRestoreTimes},
                     {"--list", &o.list}};
        bool optionsEnded = false;
        for (std::size_t i = 1; i < args.size(); ++i) {
            std::string a = args[i];
            // "-" alone is standard input; a path that begins with "-" follows "--".
            if (optionsEnded || a.size() < 2 || a[0] != '-') {
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
        if (o.restoreTimes && o.noRestoreTimes)
            return Usage("give only one of --restore-times and --no-restore-times");
        const auto stdinSources = std::count(o.paths.begin(), o.paths.end(), kStdio);
        if (stdinSources > 1)
            return Usage("standard input (-) can be read only once");
        if (o.toStdout() && (o.paths.size() != 1 || o.archive || o.list || !o.entries.empty()))
            return Usage("-o - writes one encrypted or decrypted file to standard output; give one file");
        if (stdinSources && encrypt && !o.output && !o.archive)
            return Usage("standard input (-) is encrypted with -o - (standard output) or --output DIR");
        if (stdinSources && o.archive)
            return Usage("standard input (-) cannot be added to an archive; give files or folders");
        if (stdinSources && o.wipe)
            return Usage("--wipe does not apply to standard input");
        if (o.output && !o.toStdout() && !IsDirectory(*o.output))
            return Usage(corecrypt::PathExists(*o.output)
                             ? "the output " + *o.output +
                                   " is a file; --output names a folder (or - for "
                                   "standard output)"
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
        // Chosen here, not taken from the settings: say once why it is not recommended.
        const std::string weak =
            corecrypt::WeakChoiceWarning(m_options.algorithm ? algorithm : -1, m_options.mode ? mode : -1);
        if (!weak.empty())
            Note("warning: " + weak);
        return true;
    }

    // Files as given; a folder stands for every file below it. A link to a file is that file; a
    // link to a folder is never followed, and said so. "-" is standard input, read into a file of
    // the scratch folder first.
    std::vector<std::string> ExpandPaths() {
        std::vector<std::string> files;
        std::vector<std::string> skipped;
        for (const std::string& p : m_options.paths) {
            struct stat st {};
            if (p == kStdio) {
                std::string error;
                const std::string& folder = m_scratch.Path(error);
                const std::string copy = folder + (m_options.verb == "encrypt" ? "/stdin" : "/stdin.qmp");
                if (folder.empty() || !platform::CopyStreamToNewFile(STDIN_FILENO, copy, error))
                    Fail("standard input", error);
                else
                    files.push_back(copy);
            } else if (IsDirectory(p) && ::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
                skipped.push_back(p);
            } else if (IsDirectory(p)) {
                CFileProcessor folder;
                folder.AddFile(p, "", 0, nullptr);
                files.insert(files.end(), folder.GetFiles().begin(), folder.GetFiles().end());
                skipped.insert(skipped.end(), folder.GetSkipped().begin(), folder.GetSkipped().end());
            } else if (!corecrypt::PathExists(p)) {
                Fail(p, "no such file or folder");
            } else {
                files.push_back(p);
            }
        }
        SaySkipped(skipped);
        return files;
    }

    // Each path once, however many of the sources reached it.
    void SaySkipped(std::vector<std::string> skipped) {
        std::sort(skipped.begin(), skipped.end());
        skipped.erase(std::unique(skipped.begin(), skipped.end()), skipped.end());
        for (const std::string& path : skipped)
            Note("skipped " + path + ": " +
                 (IsDirectory(path) ? "a link to a folder is not followed" : "not a regular file"));
    }

    // The bytes the files hold, for the progress line.
    static std::uint64_t TotalSize(const std::vector<std::string>& files) {
        std::uint64_t total = 0;
        struct stat st {};
        for (const std::string& file : files)
            if (::stat(file.c_str(), &st) == 0)
                total += static_cast<std::uint64_t>(st.st_size);
        return total;
    }

    // Sends a finished result from the scratch folder to standard output.
    bool Emit(const std::string& file, const std::string& what) {
        std::string error;
        if (!platform::CopyFileToStream(file, STDOUT_FILENO, error)) {
            Fail(what, "cannot write to standard output: " + error);
            return false;
        }
        return true;
    }

    // What names a file in messages: its path, or "standard input".
    std::string Shown(const std::string& file) const {
        const std::string& scratch = m_scratch.Existing();
        return !scratch.empty() && file.rfind(scratch + "/", 0) == 0 ? "standard input" : file;
    }

    int Encrypt() {
        const Options& o = m_options;
        if (o.makeKey) {
            char error[2000] = "";
            if (!CreateKeyFile(o.makeKey->c_str(), error, sizeof error))
                Fail(*o.makeKey, error);
            else
                Say("Created the key file " + *o.makeKey);
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
        // As the control center does: an existing encrypted file is replaced only when the settings
        // say so, and a file that is no encrypted file never is.
        const bool overwrite = encreg::qmreg.GetOutOverwrite() != 0;
        m_progress.Start(TotalSize(files));
        for (const std::string& file : files) {
            std::string error;
            const std::string shown = Shown(file);
            std::string dest = (o.output ? *o.output + "/" + BaseName(file) : file) + ".qmp";
            if (o.toStdout()) {
                const std::string& scratch = m_scratch.Path(error);
                if (scratch.empty()) {
                    Fail(shown, error);
                    continue;
                }
                dest = scratch + "/out.qmp";
            } else if (corecrypt::PathExists(dest)) {
                bool keyFile = false, archive = false;
                int existing = 0;
                std::string ignored;
                if (!overwrite) {
                    Fail(shown, "the encrypted file " + dest +
                                    " already exists (the settings keep existing encrypted files)");
                    continue;
                }
                if (!corecrypt::ReadEncryptedFileInfo(dest, keyFile, existing, ignored, &archive) ||
                    archive) {
                    Fail(shown, dest + " exists and is no encrypted file; it is not replaced");
                    continue;
                }
            }
            // A file about to be wiped goes only once its encrypted copy read back as its bytes.
            platform::FileSnapshot read;
            if (!(o.wipe ? corecrypt::EncryptFileVerified(file, dest, *secret, o.key.has_value(), code,
                                                          o.compress, &read, error)
                         : corecrypt::EncryptFile(file, dest, *secret, o.key.has_value(), code, o.compress,
                                                  error))) {
                Fail(shown, error);
                continue;
            }
            if (o.toStdout()) {
                if (Emit(dest, shown))
                    Say("Encrypted " + shown + " -> standard output");
                continue;
            }
            Say("Encrypted " + shown + " -> " + dest);
            if (o.wipe) {
                char wipeError[2000] = "";
                platform::FileSnapshot now;
                if (!platform::TakeSnapshot(file, now) || !(now == read))
                    Fail(file, "encrypted, but not wiped: the file changed after it was encrypted");
                else if (!WipeFile(file.c_str(), wipeError, sizeof wipeError, encreg::qmreg.GetWipeRounds(),
                                   0))
                    Fail(file, std::string("encrypted, but not wiped: ") + wipeError);
                else
                    Say("Wiped " + file);
            }
        }
        m_progress.Stop();
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
            std::vector<std::string> skipped;
            const bool collected = corecrypt::CollectArchiveSources(o.paths, true, files, error, &skipped);
            SaySkipped(skipped);
            if (!collected ||
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
                Say("Wiped " + file.path);
        }
        Say("Added " + std::to_string(count) + (count == 1 ? " file" : " files") + " to " + archive);
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
            if (o.toStdout()) {
                Fail(Shown(archive), "an archive is decrypted into a folder (--output DIR), not to standard "
                                     "output; --list prints its entries");
                return true;
            }
            corecrypt::ArchiveExtractOptions options;
            options.overwrite = o.overwrite;
            options.restoreTimes = RestoreTimes();
            std::vector<std::string> written;
            const bool ok = corecrypt::ExtractArchive(archive, o.entries, o.output.value_or("."), *secret,
                                                      keyFile, options, &written, error);
            for (const std::string& w : written)
                Say("Decrypted " + Shown(archive) + " -> " + w);
            if (!ok)
                Fail(Shown(archive), error);
        } catch (const CQMException& e) {
            Fail(Shown(archive), e.GetReportText());
        }
        return true;
    }

    // As the control center does: the stored times unless the settings or an option say otherwise.
    bool RestoreTimes() const {
        if (m_options.restoreTimes || m_options.noRestoreTimes)
            return m_options.restoreTimes;
        return encreg::qmreg.GetRestoreTime() != 0;
    }

    int Decrypt() {
        const Options& o = m_options;
        const std::vector<std::string> files = ExpandPaths();
        if (!o.list)
            m_progress.Start(TotalSize(files));
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
                Fail(Shown(file), error);
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
            const std::string shown = Shown(file);
            // Standard input has no folder of its own: its file goes to the current folder.
            std::string into = o.output ? *o.output + "/" : shown == file ? "" : "./";
            if (o.toStdout()) {
                into = m_scratch.Path(error);
                if (into.empty()) {
                    Fail(shown, error);
                    continue;
                }
                into += "/out/";
                ::mkdir(into.c_str(), 0700);
            }
            if (!corecrypt::DecryptFile(file, into, *secret, o.overwrite || o.toStdout(), RestoreTimes(),
                                        &written, error)) {
                Fail(shown, error);
            } else if (!o.toStdout()) {
                Say("Decrypted " + shown + " -> " + written);
            } else if (::isatty(STDOUT_FILENO) && !platform::LooksLikeText(written)) {
                // Text may be read on the terminal; other bytes would only upset it.
                Fail(shown, "refusing to write binary data to a terminal; redirect standard output to a "
                            "file or a pipe, or use --output DIR");
            } else if (Emit(written, shown)) {
                Say("Decrypted " + shown + " -> standard output");
            }
            if (o.toStdout() && !written.empty())
                std::remove(written.c_str());
        }
        m_progress.Stop();
        return m_failures ? 1 : 0;
    }

    std::ostream& m_out;
    std::ostream& m_err;
    ConsoleProgress m_progress;
    platform::ScratchFolder m_scratch;
    Options m_options;
    std::optional<std::string> m_password;
    int m_failures = 0;
};

} // namespace

std::string ConsoleUsage() {
    return "Usage: qmcenter encrypt [--password PW | --password-file F | --key KEYFILE] [--algorithm NAME]\n"
           "                        [--mode NAME] [--compress] [--wipe] [-o DIR | -o -] PATH...\n"
           "       qmcenter encrypt --archive ARCHIVE.qma [options as above] PATH...\n"
           "       qmcenter encrypt --make-key KEYFILE\n"
           "       qmcenter decrypt [--password PW | --password-file F | --key KEYFILE] [-o DIR | -o -]\n"
           "                        [--overwrite] [--restore-times | --no-restore-times] [--entry NAME]...\n"
           "                        FILE...\n"
           "       qmcenter decrypt --list ARCHIVE.qma\n"
           "\n"
           "-o (--output) names the folder for the results; -o - writes the one result to standard\n"
           "output, and a PATH or FILE of - reads standard input (give the password with\n"
           "--password-file or --key then). Without --algorithm and --mode the settings' default is\n"
           "used; an existing encrypted file is replaced only when the settings allow it, and\n"
           "decrypted files get their stored times when the settings say so. Links to files are\n"
           "followed, links to folders never. Progress is shown on a terminal; \"Done.\" ends the\n"
           "run on standard error. Exit status 0 when every file succeeded, 1 otherwise.\n";
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
