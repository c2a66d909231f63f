#include "TaskOptions.h"

#include "RuleOptions.h"

#include "misckit/Registry.h"
#include "platform/FileIo.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"
#include "tasks/model/Tables.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <stdexcept>
#include <sys/stat.h>

namespace qmtask {
namespace {

enum Kind { kEncrypt = 1, kDelete = 2, kMail = 4, kFile = kEncrypt | kDelete, kAny = 7 };

int FindName(const std::string& name, const char* const* names, int count) {
    for (int i = 0; i < count; ++i)
        if (Lower(name) == Lower(names[i]))
            return i;
    return -1;
}

std::string NameList(const char* const* names, int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += (i ? ", " : "") + std::string(names[i]);
    return text;
}

std::string Secret(const std::string& option, const std::string& path) {
    std::string password, error;
    if (!platform::ReadPasswordFile(path, password, error))
        Refuse(option + " " + error);
    return password;
}

// "*.txt;*.doc" (or with ',' between the masks) into the stored "|*.txt|*.doc|".
std::string StoredMask(const std::string& typed) {
    std::string stored = "|";
    std::string mask;
    int count = 0;
    for (std::size_t i = 0; i <= typed.size(); ++i) {
        const char c = i < typed.size() ? typed[i] : ';';
        if (c != ';' && c != ',') {
            mask += c;
            continue;
        }
        mask.erase(0, mask.find_first_not_of(' '));
        mask.erase(mask.find_last_not_of(' ') + 1);
        if (mask.empty())
            continue;
        if (mask.find_first_of("|/") != std::string::npos)
            Refuse("--mask " + typed + ": a mask names files, so it holds no '|' or '/' (\"" + mask + "\")");
        if (mask == "*")
            mask = "*.*"; // every file; the list reader wants masks of two characters or more
        if (mask.size() < 2)
            Refuse("--mask " + typed + ": \"" + mask + "\" is too short; give '" + mask + "*' or '*" + mask +
                   "'");
        stored += mask + "|";
        mask.clear();
        ++count;
    }
    if (count == 0)
        Refuse("--mask is empty; give the files to select, such as --mask '*.txt;*.doc' or --mask '*'");
    return stored;
}

// An absolute folder: an empty Location would mean the root folder when the task runs, and a
// relative one would depend on where the scheduler happens to start.
std::string AbsoluteFolder(const std::string& option, const std::string& path) {
    if (path.empty())
        Refuse(option + " is empty; give the task's folder as an absolute path, such as /home/me/Documents");
    if (path[0] != '/')
        Refuse(option + " " + path + ": give the folder as an absolute path (starting with /), such as " +
               "/home/me/" + path);
    return path;
}

struct Option {
    const char* name;
    int kinds;
    bool takesValue;
    std::function<void(const std::string&)> apply;
};

const char* KindName(int kind) {
    return kind == kEncrypt ? "encrypt" : kind == kDelete ? "delete" : "mail";
}

} // namespace

std::string MaskAsTyped(const std::string& stored) {
    std::string text;
    std::size_t start = stored.empty() || stored[0] != '|' ? 0 : 1;
    while (start < stored.size()) {
        std::size_t bar = stored.find('|', start);
        if (bar == std::string::npos)
            bar = stored.size();
        if (bar > start)
            text += (text.empty() ? "" : ";") + stored.substr(start, bar - start);
        start = bar + 1;
    }
    return text;
}

std::unique_ptr<CAction> NewTaskFromOptions(const std::string& kindName,
                                            const std::vector<std::string>& options, std::int64_t now) {
    const int kind = kindName == "encrypt"  ? kEncrypt
                     : kindName == "delete" ? kDelete
                     : kindName == "mail"   ? kMail
                                            : 0;
    if (!kind)
        Refuse("unknown task kind \"" + kindName + "\": give encrypt, delete or mail");
    std::unique_ptr<CAction> task;
    CFileAction* file = nullptr;
    CActionEncryptFile* enc = nullptr;
    CActionDeleteFile* del = nullptr;
    CActionSendEmail* mail = nullptr;
    if (kind == kEncrypt) {
        task = std::make_unique<CActionEncryptFile>(std::string());
        file = enc = static_cast<CActionEncryptFile*>(task.get());
        const int code = encreg::qmreg.GetMode(); // the settings' default algorithm and mode
        enc->m_nAlgorithm = (code - 1) / jobkit::kModeCount;
        enc->m_nMode = (code - 1) % jobkit::kModeCount;
    } else if (kind == kDelete) {
        task = std::make_unique<CActionDeleteFile>(std::string());
        file = del = static_cast<CActionDeleteFile*>(task.get());
        del->m_nDelType = 1; // to the Trash: the choice that can be undone
    } else {
        task = std::make_unique<CActionSendEmail>();
        mail = static_cast<CActionSendEmail*>(task.get());
    }
    if (file)
        file->m_bSubfolders = 0;

    RuleOptions rule;
    std::optional<std::string> folder, mask, message, messageFile, encoding;
    bool wipeRoundsGiven = false;
    const std::vector<Option> table = {
        {"--name", kAny, true, [&](const std::string& v) { task->m_csName = v; }},
        {"--folder", kFile, true, [&](const std::string& v) { folder = v; }},
        {"--mask", kFile, true, [&](const std::string& v) { mask = v; }},
        {"--subfolders", kFile, false, [&](const std::string&) { file->m_bSubfolders = 1; }},
        {"--key", kEncrypt, true, [&](const std::string& v) { enc->m_csKeyFile = v; }},
        {"--password-file", kEncrypt, true,
         [&](const std::string& v) { enc->m_csEncPassword = Secret("--password-file", v); }},
        {"--archive", kEncrypt, true,
         [&](const std::string& v) {
             enc->m_bArchive = 1;
             enc->m_csArchive = v;
         }},
        {"--dest", kEncrypt, true, [&](const std::string& v) { enc->m_csDestFolder = v; }},
        {"--wipe", kEncrypt, false, [&](const std::string&) { enc->m_bWipe = 1; }},
        {"--algorithm", kEncrypt, true,
         [&](const std::string& v) {
             int i = FindName(v, jobkit::algorithmNames, jobkit::kAlgorithmCount);
             if (i < 0 && (Lower(v) == "tripledes" || Lower(v) == "3des"))
                 i = 8;
             if (i < 0)
                 Refuse("--algorithm " + v + " is not known; give one of " +
                        NameList(jobkit::algorithmNames, jobkit::kAlgorithmCount));
             enc->m_nAlgorithm = i;
         }},
        {"--mode", kEncrypt, true,
         [&](const std::string& v) {
             const int i = FindName(v, jobkit::modeNames, jobkit::kModeCount);
             if (i < 0)
                 Refuse("--mode " + v + " is not known; give one of " +
                        NameList(jobkit::modeNames, jobkit::kModeCount));
             enc->m_nMode = i;
         }},
        {"--delete", kDelete, true,
         [&](const std::string& v) {
             static const char* const types[4] = {"keep", "trash", "delete", "wipe"};
             const int i = FindName(v, types, 4);
             if (i < 0)
                 Refuse("--delete " + v +
                        ": give trash (to the Trash), delete, wipe, or keep (leave the files)");
             del->m_nDelType = i;
         }},
        {"--wipe-rounds", kDelete, true,
         [&](const std::string& v) {
             if (v.empty() || v.size() > 3 || !std::all_of(v.begin(), v.end(), ::isdigit) ||
                 std::stoi(v) < 1 || std::stoi(v) > 100)
                 Refuse("--wipe-rounds wants a number of rounds from 1 to 100, not \"" + v + "\"");
             del->m_nWipeRounds = std::stoi(v);
             wipeRoundsGiven = true;
         }},
        {"--to", kMail, true, [&](const std::string& v) { mail->m_csSendTo = v; }},
        {"--recipients-file", kMail, true, [&](const std::string& v) { mail->m_csRecipientsFile = v; }},
        {"--from", kMail, true, [&](const std::string& v) { mail->m_csSenderEmail = v; }},
        {"--from-name", kMail, true, [&](const std::string& v) { mail->m_csSenderName = v; }},
        {"--subject", kMail, true, [&](const std::string& v) { mail->m_csSubject = v; }},
        {"--message", kMail, true, [&](const std::string& v) { message = v; }},
        {"--message-file", kMail, true, [&](const std::string& v) { messageFile = v; }},
        {"--server", kMail, true, [&](const std::string& v) { mail->m_csServer = v; }},
        {"--encoding", kMail, true, [&](const std::string& v) { encoding = v; }},
        {"--attach", kMail, true, [&](const std::string& v) { mail->m_csAttachment = v; }},
        {"--via-ip", kMail, true, [&](const std::string& v) { mail->m_csViaIp = v; }},
        {"--login", kMail, true,
         [&](const std::string& v) {
             mail->m_csLogin = v;
             mail->m_bAuth = 1;
         }},
        {"--mail-password-file", kMail, true,
         [&](const std::string& v) { mail->m_csMailPassword = Secret("--mail-password-file", v); }},
        {"--every", kAny, true, [&](const std::string& v) { rule.every = v; }},
        {"--at", kAny, true, [&](const std::string& v) { rule.at = v; }},
        {"--at-startup", kAny, false, [&](const std::string&) { rule.atStartup = true; }},
        {"--days", kAny, true, [&](const std::string& v) { rule.days = v; }},
        {"--hours", kAny, true, [&](const std::string& v) { rule.hours = v; }},
        {"--months", kAny, true, [&](const std::string& v) { rule.months = v; }},
        {"--day-of-month", kAny, true, [&](const std::string& v) { rule.dayOfMonth = v; }},
        {"--until", kAny, true, [&](const std::string& v) { rule.until = v; }},
    };

    for (std::size_t i = 0; i < options.size(); ++i) {
        std::string name = options[i];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        const auto option =
            std::find_if(table.begin(), table.end(), [&](const Option& o) { return name == o.name; });
        if (option == table.end()) {
            if (name.rfind("-", 0) == 0)
                Refuse("unknown option " + name + " (qmtask new --help lists the options)");
            Refuse("unexpected argument \"" + name + "\": the task is given by options only");
        }
        if (!(option->kinds & kind)) {
            std::string owners;
            for (int k : {kEncrypt, kDelete, kMail})
                if (option->kinds & k)
                    owners += std::string(owners.empty() ? "" : " and ") + KindName(k);
            Refuse(name + " is an option of " + owners + " tasks, not of " + KindName(kind) + " tasks");
        }
        if (option->takesValue && !value) {
            if (i + 1 >= options.size())
                Refuse(name + " needs a value");
            value = options[++i];
        } else if (!option->takesValue && value) {
            Refuse(name + " takes no value");
        }
        option->apply(value.value_or(std::string()));
    }

    if (file) {
        if (!folder)
            Refuse("--folder is required: the absolute path of the folder the task works on");
        file->m_csLocation = AbsoluteFolder("--folder", *folder);
        if (!mask)
            Refuse("--mask is required: the files to select, such as --mask '*.txt;*.doc' or --mask '*'");
        file->m_csMask = StoredMask(*mask);
    }
    if (enc) {
        if (enc->m_csKeyFile.empty() && enc->m_csEncPassword.empty())
            Refuse(
                "an encrypt task needs --key KEYFILE or --password-file FILE (qmtask's --password only seals "
                "the list's texts)");
        if (!enc->m_csKeyFile.empty() && !enc->m_csEncPassword.empty())
            Refuse("give --key or --password-file, not both (the key file would be used)");
        if (enc->m_bArchive && !enc->m_csDestFolder.empty())
            Refuse("--dest has no effect with --archive: the archive's path says where it goes");
        if (enc->m_bArchive && enc->m_csArchive.empty())
            Refuse("--archive is empty; give the archive's path, such as /home/me/backup.qma");
        if (!enc->m_csDestFolder.empty())
            AbsoluteFolder("--dest", enc->m_csDestFolder);
    }
    if (del && wipeRoundsGiven && del->m_nDelType != 3)
        Refuse("--wipe-rounds goes with --delete wipe");
    if (mail) {
        if (message && messageFile)
            Refuse("give --message or --message-file, not both");
        if (messageFile) {
            std::string error;
            message = std::string();
            // Read whole; the wizard's limit of 100 000 characters applies.
            FILE* in = std::fopen(messageFile->c_str(), "rb");
            if (!in)
                Refuse("--message-file " + *messageFile + ": cannot be read");
            char buffer[4096];
            for (std::size_t n;
                 (n = std::fread(buffer, 1, sizeof buffer, in)) > 0 && message->size() <= 100000;)
                message->append(buffer, n);
            std::fclose(in);
        }
        mail->m_csMessage = message.value_or(std::string());
        if (mail->m_csMessage.size() > 100000)
            Refuse("the message is too long: at most 100 000 characters");
        if (mail->m_csSubject.size() > 200)
            Refuse("--subject is too long: at most 200 characters");
        if (mail->m_csServer.empty())
            Refuse("--server is required: the outgoing mail server, such as smtp.example.com:587");
        if (mail->m_csSenderEmail.empty())
            Refuse("--from is required: the sender's address");
        if (mail->m_csSendTo.empty() && mail->m_csRecipientsFile.empty())
            Refuse("give --to ADDRESS or --recipients-file FILE");
        if (!mail->m_csMailPassword.empty() && !mail->m_bAuth)
            Refuse("--mail-password-file goes with --login");
        // An encoding is kept in the form the task's own choices use, "<code page> (<charset>)".
        const std::string charset = Lower(encoding.value_or("utf-8"));
        mail->m_csEncoding = charset;
        for (const std::string& o : CActionSendEmail::EncodingOptions()) {
            const auto open = o.rfind('(');
            if (Lower(o) == charset ||
                (open != std::string::npos && Lower(o.substr(open + 1, o.size() - open - 2)) == charset))
                mail->m_csEncoding = o;
        }
    }
    if (task->m_csName.empty())
        task->m_csName = file ? std::string(kind == kEncrypt ? "Encrypt " : "Clean up ") + file->m_csLocation
                              : "Mail " + (mail->m_csSubject.empty() ? mail->m_csSendTo : mail->m_csSubject);
    ApplyRule(rule, *task, now);
    return task;
}

std::vector<std::pair<std::string, std::string>> DescribeTask(CAction& task) {
    std::vector<std::pair<std::string, std::string>> lines;
    const auto add = [&](const char* label, const std::string& value) { lines.emplace_back(label, value); };
    const auto orNone = [](const std::string& s, const char* none = "(none)") {
        return s.empty() ? std::string(none) : s;
    };
    const auto secret = [](const std::string& s) {
        return s.empty() ? std::string("(none)") : "set (not shown)";
    };
    const auto yesNo = [](std::int32_t v) { return std::string(v ? "yes" : "no"); };
    const auto indexed = [](std::int32_t i, const char* const* names, int count) {
        return i >= 0 && i < count ? std::string(names[i]) : std::to_string(i) + " (unknown)";
    };
    add("name", task.m_csName);
    if (auto* file = dynamic_cast<CFileAction*>(&task)) {
        add("folder", orNone(file->m_csLocation, "(none: the task reports an error)"));
        add("mask", orNone(MaskAsTyped(file->m_csMask)));
        add("subfolders", yesNo(file->m_bSubfolders));
    }
    if (auto* enc = dynamic_cast<CActionEncryptFile*>(&task)) {
        add("key", orNone(enc->m_csKeyFile));
        add("password", secret(enc->m_csEncPassword));
        add("algorithm", indexed(enc->m_nAlgorithm, jobkit::algorithmNames, jobkit::kAlgorithmCount));
        add("mode", indexed(enc->m_nMode, jobkit::modeNames, jobkit::kModeCount));
        add("archive", enc->m_bArchive ? orNone(enc->m_csArchive) : "(none: one encrypted file per file)");
        if (!enc->m_bArchive)
            add("dest", orNone(enc->m_csDestFolder, "(beside each file)"));
        add("wipe", yesNo(enc->m_bWipe));
    }
    if (auto* del = dynamic_cast<CActionDeleteFile*>(&task)) {
        static const char* const types[4] = {"keep", "trash", "delete", "wipe"};
        add("delete", indexed(del->m_nDelType, types, 4));
        if (del->m_nDelType == 3)
            add("wipe-rounds", std::to_string(del->m_nWipeRounds));
    }
    if (auto* mail = dynamic_cast<CActionSendEmail*>(&task)) {
        add("to", orNone(mail->m_csSendTo));
        add("recipients-file", orNone(mail->m_csRecipientsFile));
        add("from", orNone(mail->m_csSenderEmail));
        add("from-name", orNone(mail->m_csSenderName));
        add("subject", orNone(mail->m_csSubject));
        std::string message = mail->m_csMessage;
        for (std::size_t at = 0; (at = message.find('\n', at)) != std::string::npos; at += 2)
            message.replace(at, 1, "\\n");
        add("message", orNone(message));
        add("server", orNone(mail->m_csServer));
        add("encoding", orNone(mail->m_csEncoding));
        add("attach", orNone(mail->m_csAttachment));
        add("via-ip", orNone(mail->m_csViaIp, "(any)"));
        add("login", mail->m_bAuth ? orNone(mail->m_csLogin) : "(none: no server authentication)");
        if (mail->m_bAuth)
            add("mail-password", secret(mail->m_csMailPassword));
    }
    const std::string rule = RuleAsOptions(task);
    add("schedule", rule.empty() ? "(none: runs only when the list is run)" : rule);
    if (!rule.empty()) {
        std::string text;
        task.GetLongSchedString(text);
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        add("rule", text);
    }
    add("last run", LocalTime(task.m_tLastRun));
    return lines;
}

std::string NewTaskHelp() {
    return "Usage: qmtask new encrypt|delete|mail [OPTIONS] -o LIST.qms [--append] [--password PW]\n"
           "Writes one task into a task list (a new list, or with --append added to LIST.qms) and\n"
           "prints its id.\n"
           "\n"
           "Every task:\n"
           "  --name TEXT                 the task's name (default: from its folder or subject)\n"
           "Encrypt and delete tasks:\n"
           "  --folder DIR                the folder, as an absolute path (required)\n"
           "  --mask '*.txt;*.doc'        the files to select, ';' between masks; '*' for all\n"
           "  --subfolders                also the folders below DIR (default: DIR alone)\n"
           "Encrypt tasks:\n"
           "  --key KEYFILE               encrypt for this key file, or\n"
           "  --password-file FILE        with the password on the first line of FILE (it is kept\n"
           "                              in the list; seal the list's texts with --password PW)\n"
           "  --algorithm NAME            AES, Blowfish, CAST-256, GOST, Square, MARS, RC-6, Serpent,\n"
           "                              Triple-DES, Twofish (default: the settings', else AES)\n"
           "  --mode NAME                 ECB, CBC, CFB, OFB (default: the settings', else CBC)\n"
           "  --archive FILE.qma          all files into one archive (added to when it exists)\n"
           "  --dest DIR                  encrypted files into DIR (default: beside each file)\n"
           "  --wipe                      wipe each file once it is encrypted\n"
           "Delete tasks:\n"
           "  --delete trash|delete|wipe|keep   what happens to the files (default: trash)\n"
           "  --wipe-rounds N             rounds of --delete wipe (default 3)\n"
           "Mail tasks:\n"
           "  --to ADDRESSES  --recipients-file FILE  --from ADDRESS  --from-name NAME\n"
           "  --subject TEXT  --message TEXT | --message-file FILE  --attach FILE\n"
           "  --server HOST[:PORT]  --encoding CHARSET (default utf-8)  --via-ip ADDRESS\n"
           "  --login USER  --mail-password-file FILE   server authentication\n"
           "Schedule rule (none: the task runs only when the list is run):\n"
           "  --every N{m,h,d,w,mo}       every N minutes, hours, days, weeks or months\n"
           "  --at 'YYYY-MM-DD HH:MM'     the start (with --every) or the one run (alone); also\n"
           "                              'YYYY-MM-DD' or 'HH:MM' (today). Days and weeks run at the\n"
           "                              hour of --at, months at 00:00 of their day\n"
           "  --at-startup                whenever the scheduler starts\n"
           "  --days mon,fri | mon-fri    weekdays (minutes, hours, days, weeks; default: all, but\n"
           "                              for weeks the weekday of --at, else of today)\n"
           "  --hours 9-17 | 8,12,18      hours (minutes and hours; default: all)\n"
           "  --months jan,jun            months (months; default: all)\n"
           "  --day-of-month N|last       the day of a monthly rule (default: the day of --at, else 1)\n"
           "  --until DATE                no runs after DATE (a date alone: its end)\n";
}

} // namespace qmtask
