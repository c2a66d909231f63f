#include "keyserv/Server.h"

#include "keyserv/Requests.h"

#include <httplib.h>

#include <cstdio>
#include <ctime>

namespace keyserv {
namespace {

constexpr std::size_t kServerThreads = 64;

void Send(httplib::Response& res, const Answer& answer) {
    res.status = answer.status;
    res.set_content(answer.body, answer.contentType.c_str());
}

// The log shows no confirmation token: whoever reads the log could otherwise confirm addresses.
std::string LoggedPath(const std::string& path) {
    const std::string verify = "/v1/verify/";
    if (path.rfind(verify, 0) == 0)
        return verify + "...";
    std::string out;
    for (char c : path)
        out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    return out.substr(0, 200);
}

void LogRequest(const httplib::Request& req, const httplib::Response& res) {
    char when[32];
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &tm);
    std::fprintf(stderr, "%s %s %s %s %d %zu\n", when, req.remote_addr.c_str(), req.method.c_str(),
                 LoggedPath(req.path).c_str(), res.status, res.body.size());
}

} // namespace

bool RateLimiter::Allow(const std::string& client, std::chrono::steady_clock::time_point now) {
    if (m_perSecond <= 0)
        return true;
    std::lock_guard<std::mutex> lock(m_mutex);
    const double burst = 2 * m_perSecond;
    auto [it, added] = m_buckets.try_emplace(client, Bucket{burst, now});
    Bucket& b = it->second;
    const double elapsed = std::chrono::duration<double>(now - b.last).count();
    b.tokens = std::min(burst, b.tokens + elapsed * m_perSecond);
    b.last = now;
    if (m_buckets.size() > 100000) // forget clients that have been quiet long enough to be full
        std::erase_if(m_buckets, [&](const auto& entry) {
            return std::chrono::duration<double>(now - entry.second.last).count() * m_perSecond >= burst &&
                   entry.first != client;
        });
    if (b.tokens < 1)
        return false;
    b.tokens -= 1;
    return true;
}

Server::Server(KeyService& service, ServerOptions options)
    : m_service(service), m_options(std::move(options)), m_limiter(m_options.ratePerSecond) {
    if (!m_options.tlsCert.empty())
        m_http = std::make_unique<httplib::SSLServer>(m_options.tlsCert.c_str(), m_options.tlsKey.c_str());
    else
        m_http = std::make_unique<httplib::Server>();
    httplib::Server& http = *m_http;
    http.set_payload_max_length(kMaxRequestBytes);
    // The library gives each open connection a thread while it lives, idle keep-alive ones too: with
    // a handful of threads a few idle clients would hold up everyone else.
    http.new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
    http.set_keep_alive_max_count(1000);
    http.set_keep_alive_timeout(5);
    http.set_tcp_nodelay(true); // an answer goes out whole at once, not after the peer's delayed ack
    http.set_read_timeout(10, 0);
    http.set_write_timeout(10, 0);
    http.set_logger(LogRequest);
    http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (m_limiter.Allow(req.remote_addr, std::chrono::steady_clock::now()))
            return httplib::Server::HandlerResponse::Unhandled;
        res.set_header("Retry-After", "1");
        Send(res,
             Answer{429, ErrorJson("Too many requests. Please try again in a moment."), "application/json"});
        return httplib::Server::HandlerResponse::Handled;
    });
    // Errors the library answers itself (unknown path, request too large) get a JSON message too.
    http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty())
            return;
        const std::string message = res.status == 413   ? "The request is too large."
                                    : res.status == 404 ? "There is no such address on the key server."
                                    : res.status == 405 ? "The method is not allowed here."
                                                        : "The request was not understood.";
        res.set_content(ErrorJson(message), "application/json");
    });
    http.Post("/v1/keys", [this](const httplib::Request& req, httplib::Response& res) {
        Send(res, m_service.Publish(req.body));
    });
    http.Get("/v1/keys", [this](const httplib::Request& req, httplib::Response& res) {
        Send(res, m_service.Find(req.get_param_value("email")));
    });
    http.Get(R"(/v1/keys/([^/]+))", [this](const httplib::Request& req, httplib::Response& res) {
        Send(res, m_service.Fetch(req.matches[1]));
    });
    http.Get(R"(/v1/verify/([^/]+))", [this](const httplib::Request& req, httplib::Response& res) {
        Send(res, m_service.Confirm(req.matches[1]));
    });
    http.Post(R"(/v1/keys/([^/]+)/revocation)", [this](const httplib::Request& req, httplib::Response& res) {
        Send(res, m_service.StartRevocation(req.matches[1]));
    });
    http.Post(R"(/v1/keys/([^/]+)/revocation/complete)",
              [this](const httplib::Request& req, httplib::Response& res) {
                  Send(res, m_service.CompleteRevocation(req.matches[1], req.body));
              });
    http.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "keyserv: request failed: %s\n", e.what());
        } catch (...) {
        }
        Send(res, Answer{500, ErrorJson("The key server failed to answer. Please try again later."),
                         "application/json"});
    });
}

Server::~Server() = default;

bool Server::Bind(int& port, std::string& error) {
    if (!m_http->is_valid()) {
        error = "cannot use the certificate " + m_options.tlsCert + " with the key " + m_options.tlsKey;
        return false;
    }
    if (m_options.port == 0) {
        port = m_http->bind_to_any_port(m_options.host.c_str());
    } else {
        port = m_http->bind_to_port(m_options.host.c_str(), m_options.port) ? m_options.port : -1;
    }
    if (port <= 0) {
        error = "cannot listen on " + m_options.host + ":" + std::to_string(m_options.port);
        return false;
    }
    return true;
}

void Server::Run() {
    m_http->listen_after_bind();
}

void Server::Stop() {
    m_http->stop();
}

} // namespace keyserv
