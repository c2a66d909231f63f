// keyserv: the key server. Publishes public keys whose owners proved the key and the address,
// finds them by address, returns the newest copy by key ID and takes revocations.
#include "keyserv/KeyService.h"
#include "keyserv/KeyStore.h"
#include "keyserv/Server.h"
#include "netkit/Mail.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <mutex>
#include <pthread.h>
#include <string>
#include <thread>

namespace {

const char kUsage[] =
    "Usage: keyserv --listen ADDR:PORT --db FILE|postgresql://... [--smtp HOST:PORT]\n"
    "               [--mail-from ADDR] [--public-url URL] [--tls-cert F --tls-key F]\n"
    "               [--rate-limit N]\n\n"
    "Serves public keys over HTTP(S) with a JSON API:\n"
    "  POST /v1/keys                              publish a key (signed by the key itself)\n"
    "  GET  /v1/keys?email=ADDR                   the keys of a confirmed address\n"
    "  GET  /v1/keys/KEYID                        the newest copy of a key\n"
    "  GET  /v1/verify/TOKEN                      confirm an address (the link of the mail)\n"
    "  POST /v1/keys/KEYID/revocation             mail a revocation code to the key's address\n"
    "  POST /v1/keys/KEYID/revocation/complete    the code and the revoked key, signed\n\n"
    "  --listen ADDR:PORT   address to listen on (\"[::1]:8443\" for IPv6; port 0: any free port,\n"
    "                       which the first log line names)\n"
    "  --db                 a SQLite file (created when missing) or a PostgreSQL URI; the schema\n"
    "                       is created and brought up to date\n"
    "  --smtp HOST:PORT     the mail relay for confirmation links and revocation codes\n"
    "                       (default 127.0.0.1:25)\n"
    "  --mail-from ADDR     the sender of those mails (default keyserv@localhost)\n"
    "  --public-url URL     where clients reach this server; the confirmation links start with it\n"
    "                       (default: the listen address)\n"
    "  --tls-cert F --tls-key F   speak HTTPS with this certificate and key (PEM)\n"
    "  --rate-limit N       requests per second each client may make (default 20; 0: no limit)\n\n"
    "Logs one line per request on standard error. SIGTERM or SIGINT ends it. --version prints the\n"
    "version.\n";

int Usage(const char* problem) {
    std::fprintf(stderr, "keyserv: %s\n%s", problem, kUsage);
    return 2;
}

bool SplitHostPort(const std::string& text, std::string& host, int& port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        return false;
    host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    char* end = nullptr;
    const long value = std::strtol(text.c_str() + colon + 1, &end, 10);
    if (*end != '\0' || value < 0 || value > 65535)
        return false;
    port = static_cast<int>(value);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string listen, db, smtp = "127.0.0.1:25", mailFrom = "keyserv@localhost", publicUrl, cert, key;
    double rate = 20;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("keyserv (Quillmark) %s\n", QM_VERSION);
            return 0;
        }
        static const char* const kValued[] = {"--listen",     "--db",       "--smtp",    "--mail-from",
                                              "--public-url", "--tls-cert", "--tls-key", "--rate-limit"};
        if (std::find(std::begin(kValued), std::end(kValued), arg) == std::end(kValued))
            return Usage(("unknown option " + arg).c_str());
        if (i + 1 >= argc)
            return Usage((arg + " needs a value").c_str());
        const std::string value = argv[++i];
        if (arg == "--listen")
            listen = value;
        else if (arg == "--db")
            db = value;
        else if (arg == "--smtp")
            smtp = value;
        else if (arg == "--mail-from")
            mailFrom = value;
        else if (arg == "--public-url")
            publicUrl = value;
        else if (arg == "--tls-cert")
            cert = value;
        else if (arg == "--tls-key")
            key = value;
        else if (arg == "--rate-limit") {
            char* end = nullptr;
            rate = std::strtod(value.c_str(), &end);
            if (*end != '\0' || !(rate >= 0))
                return Usage("--rate-limit needs a number of requests per second");
        }
    }
    keyserv::ServerOptions options;
    options.ratePerSecond = rate;
    if (listen.empty() || db.empty())
        return Usage("--listen and --db are needed");
    if (!SplitHostPort(listen, options.host, options.port))
        return Usage("--listen needs ADDR:PORT");
    if (cert.empty() != key.empty())
        return Usage("--tls-cert and --tls-key go together");
    options.tlsCert = cert;
    options.tlsKey = key;
    while (!publicUrl.empty() && publicUrl.back() == '/')
        publicUrl.pop_back();

    // Signals are taken by a thread of their own, so they are blocked before any thread starts.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::string error;
    auto store = keyserv::OpenKeyStore(db, error);
    if (!store) {
        std::fprintf(stderr, "keyserv: %s\n", error.c_str());
        return 1;
    }
    std::mutex mailLock;
    auto mail = [&](const std::string& to, const std::string& subject, const std::string& body,
                    std::string& reason) {
        NetKit::Mail::SENDMAILINFO_ info;
        info.csSenderEmail = mailFrom;
        info.csSenderName = "Key server";
        info.csSendTo = to;
        info.csSubject = subject;
        info.csMessage = body;
        info.csServer = smtp;
        char text[1000] = "";
        std::lock_guard<std::mutex> lock(mailLock);
        const bool sent = NetKit::Mail::SendMail(&info, text, sizeof text, nullptr) != 0;
        if (!sent)
            reason = text;
        return sent;
    };
    keyserv::ServiceSettings settings;
    keyserv::KeyService service(*store, settings, mail,
                                [] { return static_cast<std::int64_t>(std::time(nullptr)); });
    keyserv::Server server(service, options);
    int port = 0;
    if (!server.Bind(port, error)) {
        std::fprintf(stderr, "keyserv: %s\n", error.c_str());
        return 1;
    }
    const std::string shownHost =
        options.host.find(':') != std::string::npos ? "[" + options.host + "]" : options.host;
    const std::string listening = shownHost + ":" + std::to_string(port);
    if (publicUrl.empty())
        publicUrl = (cert.empty() ? "http://" : "https://") + listening;
    // The links in mails need the final URL, known only now that the port is.
    service.SetPublicUrl(publicUrl);
    std::fprintf(stderr, "keyserv: listening on %s (%s)\n", listening.c_str(), publicUrl.c_str());

    std::thread waiter([&] {
        int received = 0;
        sigwait(&signals, &received);
        server.Stop();
    });
    server.Run();
    pthread_kill(waiter.native_handle(), SIGTERM); // ends the wait when the server stopped by itself
    waiter.join();
    std::fprintf(stderr, "keyserv: stopped\n");
    return 0;
}
