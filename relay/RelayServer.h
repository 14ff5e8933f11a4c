#pragma once

#include "RateLimiter.h"
#include "ReportStore.h"

#include <cstddef>
#include <memory>
#include <string>

namespace httplib {
class Server;
}

struct RelayOptions
{
    std::string host = "127.0.0.1";
    int port = 8787;
    std::string token;
    std::string upstream = "https://api.openai.com";
    std::string upstreamKey;
    std::string reportsDir = "reports";
    std::string webhook; // empty: reports are only stored
    int perMinute = 30;
    std::size_t maxChatBytes = 256 * 1024;
    std::size_t maxReportBytes = 16 * 1024 * 1024;
};

class RelayServer
{
public:
    explicit RelayServer(RelayOptions options);
    ~RelayServer();

    // Binds the listening socket; returns the port (useful with port 0) or -1.
    int bind();
    // Serves until stop() is called. Call bind() first.
    bool serve();
    void stop();

    // Compares two secrets in time that depends only on their lengths.
    static bool sameSecret(const std::string &given, const std::string &expected);

private:
    void installRoutes();

    RelayOptions m_options;
    RateLimiter m_limiter;
    ReportStore m_store;
    std::unique_ptr<httplib::Server> m_server;
};
