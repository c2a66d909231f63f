#pragma once

// keyserv's HTTP side: routes, caps on size and rate, a log line per request, TLS when given a
// certificate. Runs until Stop() (from the SIGTERM handler's thread).

#include "keyserv/KeyService.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace httplib {
class Server;
}

namespace keyserv {

// Requests per second each client may make, with bursts of twice as many.
class RateLimiter {
public:
    explicit RateLimiter(double perSecond) : m_perSecond(perSecond) {}
    bool Allow(const std::string& client, std::chrono::steady_clock::time_point now);

private:
    struct Bucket {
        double tokens;
        std::chrono::steady_clock::time_point last;
    };
    double m_perSecond;
    std::mutex m_mutex;
    std::map<std::string, Bucket> m_buckets;
};

struct ServerOptions {
    std::string host;
    int port = 0; // 0: any free port
    std::string tlsCert;
    std::string tlsKey;
    double ratePerSecond = 20; // 0: no limit
};

class Server {
public:
    Server(KeyService& service, ServerOptions options);
    ~Server();
    // Binds the address; `port` then holds the port in use.
    bool Bind(int& port, std::string& error);
    // Serves until Stop().
    void Run();
    void Stop();

private:
    KeyService& m_service;
    ServerOptions m_options;
    RateLimiter m_limiter;
    std::unique_ptr<httplib::Server> m_http;
};

} // namespace keyserv
