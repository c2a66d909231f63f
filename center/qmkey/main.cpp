// qmkey: the user's key pairs and other people's public keys from the command line.
#include "KeyList.h"
#include "StoreVerbs.h"

#include "corecrypt/KeyRing.h"
#include "misckit/Registry.h"
#include "netkit/KeyServ.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/RegularFile.h"
#include "shellkit/KeyRings.h"
#include "uikit/HeadlessBackend.h"
#include "uikit/Ui.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Verb {
    const char* name;
    const char* usage;
    const char* text;
};

const Verb kVerbs[] = {
    {"list", "list [--public | --private] [--json]",
     "Lists the public keys (default) or the private keys: ring position, key ID, name, e-mail,\n"
     "creation and expiry date, size and, for public keys, the Synchronized column. --json prints\n"
     "an array of objects with position, keyId, name, email, created, expires (seconds since 1970,\n"
     "0 for none), size, synchronized, revoked and own.\n"},
    {"generate", "generate --name NAME --email EMAIL [--expires YYYY-MM-DD|never] [--passphrase-file F]",
     "Generates a key pair (Ed25519 signing key, X25519 encryption key) and adds it to both rings.\n"
     "The passphrase that protects the private key is asked twice on the terminal, or read from\n"
     "the first line of F. A key expires at the end of the given day (default: never).\n"},
    {"export", "export [--private] KEY [-o FILE]",
     "Prints the key's text (or writes it to FILE), ready to paste into a mail. With --private the\n"
     "private key, still sealed with its passphrase.\n"},
    {"import", "import [FILE | -]",
     "Adds the key in FILE (or standard input) to the rings: a public key to the public ring, a\n"
     "private key to the private ring and its public half to the public ring. Surrounding text is\n"
     "ignored; the key's signature is checked.\n"},
    {"delete", "delete [--private] KEY [--yes]",
     "Deletes a public key (or with --private a private key). A key pair is deleted as a pair.\n"
     "Asks first on the terminal unless --yes is given.\n"},
    {"passwd", "passwd KEY [--old-passphrase-file F] [--passphrase-file F]",
     "Changes the passphrase of a private key: the old one, then the new one twice, asked on the\n"
     "terminal or read from the first line of the files.\n"},
    {"locations", "locations [DIR...]",
     "With folders, stores them as they are given as the locations searched for encrypted files\n"
     "(at most ten; locations after them are cleared). Without, prints the stored ones, one a line.\n"},
    {"keyfolder", "keyfolder [DIR]",
     "Stores DIR as the folder of the secret key files (.qmk), or prints the folder.\n"},
    {"scan", "scan [--json]",
     "Scans the locations for encrypted files and archives and the key folder for key files,\n"
     "without asking anything, and prints the key files, the encrypted files, the errors met and\n"
     "the key files that share a key ID. --json prints one object with keyFiles, files, errors and\n"
     "duplicates. Exit status 0 whenever the scan ran, whatever errors it met.\n"},
    {"server",
     "server find EMAIL [--import] | publish KEY [--passphrase-file F] | sync |\n"
     "               revoke KEY [--code CODE] [--passphrase-file F]   [--server URL]",
     "Talks to the key server named in the preferences, or by --server URL:\n"
     "  find EMAIL      lists the keys the server holds for a confirmed address; --import adds them\n"
     "                  to the public ring\n"
     "  publish KEY     publishes your own public key, signed with its private key; the server mails\n"
     "                  a confirmation link to the key's address\n"
     "  sync            fetches the newest copy of every public key that is not yours, expired or\n"
     "                  revoked, and updates the ring\n"
     "  revoke KEY      without --code: the server mails a revocation code to the key's address;\n"
     "                  with --code: revokes the key there and in your rings (cannot be undone)\n"
     "The passphrase is asked on the terminal or read from the first line of F.\n"},
};

const char kKeyHelp[] =
    "KEY is a key ID (32 hex digits, blanks allowed, or its last 16), or an e-mail address that\n"
    "names exactly one key.\n";

void PrintUsage(std::FILE* to) {
    std::fputs("Usage: qmkey VERB [ARGS...]\n"
               "Quillmark key pairs and public keys from the command line.\n\n",
               to);
    for (const Verb& v : kVerbs)
        std::fprintf(to, "  qmkey %s\n", v.usage);
    std::fputs("\n", to);
    std::fputs(kKeyHelp, to);
    std::fputs("Each verb answers --help; qmkey --version prints the version. Exit status 0 on success,\n"
               "1 with one line on standard error.\n",
               to);
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "qmkey: %s\n", text.c_str());
    return 1;
}

// The options of one verb: flags, options with a value, and positional words.
struct Arguments {
    std::map<std::string, std::string> values;
    std::vector<std::string> flags;
    std::vector<std::string> positional;
    bool Has(const std::string& flag) const {
        return std::find(flags.begin(), flags.end(), flag) != flags.end();
    }
    std::string Value(const std::string& name) const {
        auto it = values.find(name);
        return it == values.end() ? std::string() : it->second;
    }
};

bool Parse(int argc, char** argv, const std::vector<std::string>& flags,
           const std::vector<std::string>& valued, Arguments& args, std::string& error) {
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (std::find(flags.begin(), flags.end(), arg) != flags.end()) {
            args.flags.push_back(arg);
        } else if (std::find(valued.begin(), valued.end(), arg) != valued.end()) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            args.values[arg] = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg + " (see qmkey " + argv[1] + " --help)";
            return false;
        } else {
            args.positional.push_back(arg);
        }
    }
    return true;
}

bool ReadFirstLine(const std::string& path, std::string& line, std::string& error) {
    std::string bytes;
    if (!platform::ReadRegularFile(path, bytes, error)) {
        error = "cannot read " + path + ": " + error;
        return false;
    }
    line = bytes.substr(0, bytes.find('\n'));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

// A passphrase from a file's first line, or asked on the terminal (twice when `confirm`).
bool Passphrase(const std::string& file, const std::string& prompt, bool confirm, std::string& out,
                std::string& error) {
    if (!file.empty())
        return ReadFirstLine(file, out, error);
    if (!::isatty(STDIN_FILENO)) {
        error = "no terminal to ask the passphrase on; give it with a passphrase file";
        return false;
    }
    uikit::TextRequest request;
    request.prompt = prompt;
    request.caption = "Quillmark: Enter Passphrase";
    request.hidden = true;
    const auto first = uikit::AskText(request);
    if (!first) {
        error = "no passphrase given";
        return false;
    }
    if (confirm) {
        request.prompt = "Repeat the passphrase:";
        const auto second = uikit::AskText(request);
        if (!second || *second != *first) {
            error = "the passphrases do not match";
            return false;
        }
    }
    out = *first;
    return true;
}

std::string DateText(std::int64_t t) {
    return t == 0 ? "Not set" : platform::LocalTimeText(t);
}

std::string HexId(const CAsymmKey& key) {
    std::string id = key.GetKeyIDText();
    id.erase(std::remove(id.begin(), id.end(), ' '), id.end());
    return id;
}

int List(const Arguments& args) {
    if (args.Has("--public") && args.Has("--private"))
        return Fail("give --public or --private, not both");
    if (!args.positional.empty())
        return Fail("list takes no key");
    qmkey::Rings rings;
    std::string error;
    if (!qmkey::LoadRings(rings, error))
        return Fail(error);
    qmkey::DeriveStatuses(rings, platform::Now());
    const bool privateRing = args.Has("--private");
    const std::size_t count = privateRing ? rings.privateCount : rings.publicCount;
    std::string json = "[";
    for (std::size_t i = 0; i < count; ++i) {
        const CAsymmKey& key = privateRing ? static_cast<const CAsymmKey&>(*rings.privates[i])
                                           : static_cast<const CAsymmKey&>(*rings.publics[i]);
        // A private key shows the state of its public half, where there is one.
        const CAsymmKey* state = privateRing ? qmkey::FindPublic(rings, key.GetKeyIDPbyte()) : &key;
        const std::string sync = state ? qmkey::SynchronizedText(*state) : std::string();
        const bool own = privateRing || qmkey::IsOwn(rings, key);
        if (args.Has("--json")) {
            const bool revoked = key.m_bRevoked != 0 || (state && state->m_bRevoked != 0);
            json += i == 0 ? "\n  " : ",\n  ";
            json += "{\"position\": " + std::to_string(key.m_nRingPos) + ", \"keyId\": \"" + HexId(key) +
                    "\", \"name\": " + qmkey::JsonText(key.GetUserNameA()) +
                    ", \"email\": " + qmkey::JsonText(key.GetEmail()) +
                    ", \"created\": " + std::to_string(key.GetCreationTime()) +
                    ", \"expires\": " + std::to_string(key.GetExpireTime()) +
                    ", \"size\": " + std::to_string(key.m_nSize) +
                    ", \"synchronized\": " + qmkey::JsonText(sync) +
                    ", \"revoked\": " + (revoked ? "true" : "false") +
                    ", \"own\": " + (own ? "true" : "false") + "}";
        } else {
            std::printf("%-5u %s  %s <%s>\n      created %s, expires %s, size %u%s%s\n", key.m_nRingPos,
                        key.GetKeyIDText().c_str(), key.GetUserNameA(), key.GetEmail(),
                        DateText(key.GetCreationTime()).c_str(), DateText(key.GetExpireTime()).c_str(),
                        key.m_nSize, sync.empty() ? "" : ", ", sync.c_str());
        }
    }
    if (args.Has("--json"))
        std::fputs((json + (count ? "\n]\n" : "]\n")).c_str(), stdout);
    else if (count == 0)
        std::printf("No %s keys.\n", privateRing ? "private" : "public");
    return 0;
}

int Generate(const Arguments& args) {
    shellkit::KeyPairRequest request;
    request.name = args.Value("--name");
    request.email = args.Value("--email");
    if (request.name.empty() || request.email.empty())
        return Fail("generate needs --name and --email");
    if (!args.positional.empty())
        return Fail("generate takes no other words");
    const std::string expiry = args.values.count("--expires") ? args.Value("--expires") : "never";
    if (!shellkit::ParseExpiryDate(expiry, request.expires))
        return Fail("--expires needs a date YYYY-MM-DD or never, not \"" + expiry + "\"");
    std::string error;
    if (!Passphrase(args.Value("--passphrase-file"), "Passphrase for the new private key:", true,
                    request.passphrase, error))
        return Fail(error);
    if (request.passphrase.empty())
        return Fail("the passphrase is empty");
    std::string keyId;
    if (!shellkit::CreateKeyPair(request, keyId, error))
        return Fail(error);
    std::printf("Generated key pair %s for %s <%s>.\n", keyId.c_str(), request.name.c_str(),
                request.email.c_str());
    return 0;
}

int Export(const Arguments& args) {
    if (args.positional.size() != 1)
        return Fail("export needs one KEY");
    qmkey::Rings rings;
    std::string error;
    if (!qmkey::LoadRings(rings, error))
        return Fail(error);
    const CAsymmKey* key = qmkey::FindKey(rings, args.Has("--private"), args.positional[0], error);
    if (!key)
        return Fail(error);
    const std::string text(key->GetEnvelop(), key->m_nEnvelopLen);
    const std::string out = args.Value("-o");
    if (out.empty()) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    if (!platform::WriteFileAtomically(out, text, 0600, error))
        return Fail(error);
    return 0;
}

int Import(const Arguments& args) {
    if (args.positional.size() > 1)
        return Fail("import takes one FILE (or - for standard input)");
    std::string text;
    std::string error;
    if (args.positional.empty() || args.positional[0] == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else if (!platform::ReadRegularFile(args.positional[0], text, error)) {
        return Fail("cannot read " + args.positional[0] + ": " + error);
    }
    corecrypt::KeyTextKind kind{};
    std::string bytes;
    if (!corecrypt::UnarmorKeyText(text, kind, bytes, error))
        return Fail(error);
    qmkey::Rings rings;
    char reason[1000] = "";
    if (!qmkey::LoadRings(rings, error)) // converts old rings before anything is added
        return Fail(error);
    if (kind == corecrypt::KeyTextKind::Public) {
        auto key = corecrypt::ParsePublicKeyText(text, error);
        if (!key)
            return Fail(error);
        if (!AddPublicKeyToFile(*key, rings.publicPath.c_str(), reason, sizeof reason))
            return Fail(reason);
        std::printf("Imported public key %s for %s <%s>.\n", key->GetKeyIDText().c_str(), key->GetUserNameA(),
                    key->GetEmail());
        return 0;
    }
    auto key = corecrypt::ParsePrivateKeyText(text, error);
    if (!key)
        return Fail(error);
    if (!AddPrivateKeyToFile(*key, rings.privatePath.c_str(), rings.publicPath.c_str(), reason,
                             sizeof reason))
        return Fail(reason);
    std::printf("Imported key pair %s for %s <%s>.\n", key->GetKeyIDText().c_str(), key->GetUserNameA(),
                key->GetEmail());
    return 0;
}

int Delete(const Arguments& args) {
    if (args.positional.size() != 1)
        return Fail("delete needs one KEY");
    qmkey::Rings rings;
    std::string error;
    if (!qmkey::LoadRings(rings, error))
        return Fail(error);
    const bool privateRing = args.Has("--private");
    const CAsymmKey* key = qmkey::FindKey(rings, privateRing, args.positional[0], error);
    if (!key)
        return Fail(error);
    const CAsymmKey* other =
        privateRing ? static_cast<const CAsymmKey*>(qmkey::FindPublic(rings, key->GetKeyIDPbyte()))
                    : qmkey::FindPrivate(rings, key->GetKeyIDPbyte());
    const bool pair = other && other->m_nRingPos != corecrypt::kNoRingPosition;
    if (!args.Has("--yes")) {
        if (!::isatty(STDIN_FILENO))
            return Fail("nothing deleted: give --yes when no terminal can ask");
        const std::string question =
            pair
                ? "This public key is your own and has a private key associated with it. If you delete this "
                  "key "
                  "pair you will not be able to decrypt data encrypted with it.\nClick \"Yes\" to proceed or "
                  "\"No\" to cancel."
                : "If you delete this public key, you will not be able to send encrypted data to the key's "
                  "owner.\nClick \"Yes\" to proceed or \"No\" to cancel.";
        if (uikit::MessageBox(question, "Quillmark", uikit::Buttons::YesNo, uikit::Icon::Question) !=
            uikit::Answer::Yes)
            return Fail("nothing deleted");
    }
    char reason[2000] = "";
    auto remove = [&](const CAsymmKey& k) {
        const std::string& ring = k.IsPrivate() ? rings.privatePath : rings.publicPath;
        return (k.IsPrivate() ? DeletePrivateKey : DeletePublicKey)(k.m_nRingPos, k.GetKeyIDPbyte(),
                                                                    ring.c_str(), reason, sizeof reason) != 0;
    };
    if (!remove(*key))
        return Fail(reason);
    if (pair && !remove(*other))
        return Fail(reason);
    std::printf("Deleted %s %s <%s>.\n",
                pair          ? "key pair"
                : privateRing ? "private key"
                              : "public key",
                key->GetKeyIDText().c_str(), key->GetEmail());
    return 0;
}

int Passwd(const Arguments& args) {
    if (args.positional.size() != 1)
        return Fail("passwd needs one KEY");
    qmkey::Rings rings;
    std::string error;
    if (!qmkey::LoadRings(rings, error))
        return Fail(error);
    const CAsymmKey* found = qmkey::FindKey(rings, true, args.positional[0], error);
    if (!found)
        return Fail(error);
    auto key = static_cast<const CPrivateKey*>(found)->Clone();
    std::string oldPassphrase;
    std::string newPassphrase;
    if (!Passphrase(args.Value("--old-passphrase-file"), "Current passphrase:", false, oldPassphrase, error))
        return Fail(error);
    corecrypt::LockedBytes check;
    if (!key->Unlock(oldPassphrase, check, error))
        return Fail(error);
    if (!Passphrase(args.Value("--passphrase-file"), "New passphrase:", true, newPassphrase, error))
        return Fail(error);
    char reason[1000] = "";
    if (!key->ChangePassphrase(oldPassphrase, newPassphrase, error))
        return Fail(error);
    if (!ReplaceKeyInFile(*key, rings.privatePath.c_str(), reason, sizeof reason))
        return Fail(reason);
    std::printf("Changed the passphrase of %s <%s>.\n", key->GetKeyIDText().c_str(), key->GetEmail());
    return 0;
}

// The server from --server, or the preferences.
void ChooseServer(const Arguments& args) {
    const CQMRegistry settings;
    const bool plain = settings.GetAllowPlainHttp() != 0;
    NetKit::KeyServ::SetServer(
        args.values.count("--server") ? args.Value("--server") : settings.GetKeyServer(), plain);
}

int ServerFind(const Arguments& args) {
    if (args.positional.size() != 2)
        return Fail("server find needs one EMAIL");
    std::vector<std::unique_ptr<CPublicKey>> keys;
    char reason[1000] = "";
    if (!NetKit::KeyServ::FindKey(args.positional[1].c_str(), keys, reason, sizeof reason))
        return Fail(reason);
    if (keys.empty())
        return Fail("No keys with such email address on keyserver.");
    qmkey::Rings rings;
    std::string error;
    if (args.Has("--import") && !qmkey::LoadRings(rings, error))
        return Fail(error);
    for (const auto& key : keys) {
        std::printf("%s  %s <%s>%s\n", key->GetKeyIDText().c_str(), key->GetUserNameA(), key->GetEmail(),
                    key->GetRevocationTime() ? "  Revoked" : "");
        if (args.Has("--import") &&
            !AddPublicKeyToFile(*key, rings.publicPath.c_str(), reason, sizeof reason))
            return Fail(reason);
    }
    if (args.Has("--import"))
        std::printf("Imported %zu key%s.\n", keys.size(), keys.size() == 1 ? "" : "s");
    return 0;
}

int ServerPublish(const Arguments& args) {
    if (args.positional.size() != 2)
        return Fail("server publish needs one KEY");
    qmkey::Rings rings;
    std::string error;
    if (!qmkey::LoadRings(rings, error))
        return Fail(error);
    const CAsymmKey* key = qmkey::FindKey(rings, false, args.positional[1], error);
    if (!key)
        return Fail(error);
    const CPrivateKey* own = qmkey::FindPrivate(rings, key->GetKeyIDPbyte());
    if (!own)
        return Fail(
            "The private key, corresponding to this public key, is not found. You can publish only your "
            "own public keys.");
    std::string passphrase;
    if (!Passphrase(args.Value("--passphrase-file"), "Passphrase of the private key:", false, passphrase,
                    error))
        return Fail(error);
    char reason[2000] = "";
    if (!NetKit::KeyServ::PublishKey(key->GetEnvelop(), static_cast<int>(key->m_nEnvelopLen), *own, reason,
                                     sizeof reason, &passphrase))
        return Fail(reason);
    std::printf("The key has been successfully published.\n%s%s", reason, *reason ? "\n" : "");
    return 0;
}

int ServerSync(const Arguments& args) {
    if (args.positional.size() != 1)
        return Fail("server sync takes no other words");
    qmkey::Rings rings;
    std::string error;
    if (!qmkey::LoadRings(rings, error))
        return Fail(error);
    const std::int64_t now = platform::Now();
    char reason[2000] = "";
    int checked = 0, changed = 0, missing = 0, revoked = 0;
    for (std::size_t i = 0; i < rings.publicCount; ++i) {
        const CPublicKey& stored = *rings.publics[i];
        if ((stored.GetExpireTime() != 0 && stored.GetExpireTime() < now) || stored.m_bRevoked ||
            qmkey::IsOwn(rings, stored))
            continue;
        auto key = stored.Clone();
        bool isNew = false;
        if (!NetKit::KeyServ::SynchronizeKey(key, isNew, reason, sizeof reason))
            return Fail(reason);
        ++checked;
        if (isNew && !AddPublicKeyToFile(*key, rings.publicPath.c_str(), reason, sizeof reason))
            return Fail(reason);
        if (!SetKeyState(*key, rings.publicPath.c_str(), reason, sizeof reason))
            return Fail(reason);
        changed += isNew ? 1 : 0;
        missing += key->m_nStatus == corecrypt::kStatusNotOnServer ? 1 : 0;
        revoked += key->m_bRevoked ? 1 : 0;
    }
    std::printf(
        "Keys have been successfully synchronized: %d checked, %d changed, %d revoked, %d not on server.\n",
        checked, changed, revoked, missing);
    return 0;
}

int ServerRevoke(const Arguments& args) {
    if (args.positional.size() != 2)
        return Fail("server revoke needs one KEY");
    qmkey::Rings rings;
    std::string error;
    if (!qmkey::LoadRings(rings, error))
        return Fail(error);
    const CAsymmKey* key = qmkey::FindKey(rings, true, args.positional[1], error);
    if (!key)
        return Fail(
            "The private key, corresponding to this public key, is not found. You can revoke only your own "
            "public keys.");
    const auto& own = static_cast<const CPrivateKey&>(*key);
    char reason[2000] = "";
    if (!args.values.count("--code")) {
        if (!NetKit::KeyServ::InitKeyRevocation(own.GetKeyIDPbyte(), reason, sizeof reason))
            return Fail(reason);
        std::printf(
            "Key revocation initiated successfully. Please check your mail inbox for the revocation code "
            "and after that, make a new revocation request with the revocation code to complete "
            "revocation.\n");
        return 0;
    }
    std::string passphrase;
    if (!Passphrase(args.Value("--passphrase-file"), "Passphrase of the private key:", false, passphrase,
                    error))
        return Fail(error);
    std::unique_ptr<CPrivateKey> revoked;
    if (!NetKit::KeyServ::CompleteKeyRevocation(own.GetKeyIDPbyte(), args.Value("--code").c_str(), own,
                                                revoked, reason, sizeof reason, &passphrase))
        return Fail(reason);
    // The server holds the revoked copy now; the rings follow it (a newer revision replaces the old
    // one at its place in both rings).
    if (!AddPrivateKeyToFile(*revoked, rings.privatePath.c_str(), rings.publicPath.c_str(), reason,
                             sizeof reason))
        return Fail(std::string("The key was revoked on the server, but not in your rings: ") + reason);
    std::printf("Key has been successfully revoked.\n");
    return 0;
}

int Server(const Arguments& args) {
    const std::string what = args.positional.empty() ? std::string() : args.positional[0];
    if (what != "find" && what != "publish" && what != "sync" && what != "revoke")
        return Fail("server needs find, publish, sync or revoke (see qmkey server --help)");
    const bool find = what == "find";
    if (args.Has("--import") && !find)
        return Fail("--import goes with server find");
    if (args.values.count("--code") && what != "revoke")
        return Fail("--code goes with server revoke");
    if (args.values.count("--passphrase-file") && what != "publish" && what != "revoke")
        return Fail("--passphrase-file goes with server publish and server revoke");
    ChooseServer(args);
    if (find)
        return ServerFind(args);
    if (what == "publish")
        return ServerPublish(args);
    if (what == "sync")
        return ServerSync(args);
    return ServerRevoke(args);
}

} // namespace

int main(int argc, char** argv) {
    uikit::HeadlessBackend ui(true);
    uikit::ScopedBackend use(ui);
    if (argc < 2)
        return PrintUsage(stderr), 1;
    const std::string verb = argv[1];
    if (verb == "--help" || verb == "-h" || verb == "help")
        return PrintUsage(stdout), 0;
    if (verb == "--version")
        return std::puts("qmkey (Quillmark) " QM_VERSION), 0;
    const Verb* found = nullptr;
    for (const Verb& v : kVerbs)
        if (verb == v.name)
            found = &v;
    if (!found)
        return Fail("unknown verb \"" + verb + "\" (see qmkey --help)");
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("Usage: qmkey %s\n\n%s", found->usage, found->text);
            if (verb == "export" || verb == "delete" || verb == "passwd")
                std::printf("\n%s", kKeyHelp);
            return 0;
        }
    }
    Arguments args;
    std::string error;
    bool ok = false;
    if (verb == "list")
        ok = Parse(argc, argv, {"--public", "--private", "--json"}, {}, args, error);
    else if (verb == "generate")
        ok = Parse(argc, argv, {}, {"--name", "--email", "--expires", "--passphrase-file"}, args, error);
    else if (verb == "export")
        ok = Parse(argc, argv, {"--private"}, {"-o"}, args, error);
    else if (verb == "import")
        ok = Parse(argc, argv, {}, {}, args, error);
    else if (verb == "delete")
        ok = Parse(argc, argv, {"--private", "--yes"}, {}, args, error);
    else if (verb == "locations" || verb == "keyfolder")
        ok = Parse(argc, argv, {}, {}, args, error);
    else if (verb == "scan")
        ok = Parse(argc, argv, {"--json"}, {}, args, error);
    else if (verb == "server")
        ok = Parse(argc, argv, {"--import"}, {"--passphrase-file", "--code", "--server"}, args, error);
    else
        ok = Parse(argc, argv, {}, {"--old-passphrase-file", "--passphrase-file"}, args, error);
    if (!ok)
        return Fail(error);
    if (verb == "list")
        return List(args);
    if (verb == "generate")
        return Generate(args);
    if (verb == "export")
        return Export(args);
    if (verb == "import")
        return Import(args);
    if (verb == "delete")
        return Delete(args);
    if (verb == "locations")
        return qmkey::Locations(args.positional);
    if (verb == "keyfolder") {
        if (args.positional.size() > 1)
            return Fail("keyfolder takes one folder");
        return qmkey::KeyFolder(args.positional);
    }
    if (verb == "scan") {
        if (!args.positional.empty())
            return Fail("scan takes no other words");
        return qmkey::Scan(args.Has("--json"));
    }
    if (verb == "server")
        return Server(args);
    return Passwd(args);
}
