#pragma once

#include "ChatPolicy.h"
#include "DailyBudget.h"
#include "RateLimiter.h"
#include "ReportStore.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace httplib {
class Request;
class Response;
} // namespace httplib
class GuardedServer;

struct RelayOptions
{
    std::string host = "127.0.0.1";
    int port = 8787;
    std::string token;
    std::string upstream = "https://api.openai.com";
    std::string upstreamKey;
    std::string reportsDir = "reports";
    std::string webhook;      // empty: reports are only stored
    std::string trustedProxy; // its X-Real-IP header names the client
    int perMinute = 30;
    int badTokensPerMinute = 10;
    ChatLimits chat;
    std::int64_t dailyTokens = 2000000;
    std::uint64_t reportsMaxBytes = std::uint64_t(1) << 30;
    std::uint64_t reportsMinFreeBytes = std::uint64_t(1) << 30;
    int requestSeconds = 20; // deadline for receiving a whole request
    std::size_t maxChatBytes = 256 * 1024;
    std::size_t maxReportBytes = 16 * 1024 * 1024;
    std::size_t maxUpstreamReplyBytes = 2 * 1024 * 1024;
    int threads = 32;
    int maxChatsInFlight = 8; // the other threads stay free for health checks and reports
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
    std::string clientAddress(const httplib::Request &req) const;
    // Checks made on the head alone, so refused bodies are never read: admit()
    // for POST requests, bodiless() for the rest. False when `res` holds the
    // refusal.
    bool admit(const httplib::Request &req, httplib::Response &res);
    bool bodiless(const httplib::Request &req, httplib::Response &res);
    void chat(const std::string &body, httplib::Response &res);
    void report(const std::vector<ReportPart> &parts, httplib::Response &res);
    void log(const httplib::Request &req, const httplib::Response &res) const;

    RelayOptions m_options;
    RateLimiter m_limiter;
    RateLimiter m_badTokens;
    DailyBudget m_budget;
    ReportStore m_store;
    std::atomic<int> m_chatsInFlight{0};
    std::unique_ptr<GuardedServer> m_server;
};
