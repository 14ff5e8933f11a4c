#include "RelayServer.h"

#include "ai/Pricing.h"

#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace {

RelayServer *g_server = nullptr;

void onSignal(int)
{
    if (g_server)
        g_server->stop();
}

int usage(const char *why)
{
    if (why)
        std::fprintf(stderr, "tolvo-relay: %s\n", why);
    std::fprintf(stderr,
                 "usage: tolvo-relay --token-file FILE [--listen HOST:PORT] [--upstream URL]\n"
                 "         [--reports-dir DIR] [--webhook URL] [--rate-limit N] [--trusted-proxy ADDRESS]\n"
                 "         [--models A,B,...] [--max-tokens N] [--daily-tokens N]\n"
                 "         [--reports-max-bytes N] [--reports-min-free N] [--request-timeout SECONDS]\n"
                 "The upstream model service key is read from TOLVO_RELAY_UPSTREAM_KEY.\n");
    return 2;
}

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// A whole non-negative number, or -1.
long long number(const std::string &text)
{
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::stoll(text);
}

} // namespace

int main(int argc, char **argv)
{
#ifndef Q_OS_WIN
    // Reports hold users' screenshots and logs: nothing the relay creates is
    // for other accounts on the host.
    ::umask(077);
#endif
    RelayOptions options;
    for (const auto &priced : MODEL_PRICING_USD_PER_M)
        options.chat.models.insert(priced.first);
    std::string tokenFile;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(nullptr);
            return 0;
        }
        if (i + 1 >= argc)
            return usage(("missing value for " + arg).c_str());
        const std::string value = argv[++i];
        const long long n = number(value);
        const bool numeric = arg == "--rate-limit" || arg == "--max-tokens" || arg == "--daily-tokens" ||
                             arg == "--reports-max-bytes" || arg == "--reports-min-free" ||
                             arg == "--request-timeout";
        if (numeric && n < 0)
            return usage((arg + " takes a whole number").c_str());
        if (arg == "--listen") {
            const auto colon = value.rfind(':');
            if (colon == std::string::npos)
                return usage("--listen takes HOST:PORT");
            options.host = value.substr(0, colon);
            options.port = std::atoi(value.c_str() + colon + 1);
        } else if (arg == "--token-file") {
            tokenFile = value;
        } else if (arg == "--upstream") {
            options.upstream = value;
        } else if (arg == "--reports-dir") {
            options.reportsDir = value;
        } else if (arg == "--webhook") {
            options.webhook = value;
        } else if (arg == "--trusted-proxy") {
            options.trustedProxy = value;
        } else if (arg == "--models") {
            options.chat.models.clear();
            for (const QString &model :
                 QString::fromStdString(value).split(QLatin1Char(','), Qt::SkipEmptyParts))
                options.chat.models.insert(model.trimmed());
        } else if (arg == "--rate-limit") {
            options.perMinute = int(std::min(n, 1000000LL));
        } else if (arg == "--max-tokens") {
            options.chat.maxTokens = int(std::clamp(n, 1LL, 1000000LL));
        } else if (arg == "--daily-tokens") {
            options.dailyTokens = n;
        } else if (arg == "--reports-max-bytes") {
            options.reportsMaxBytes = std::uint64_t(n);
        } else if (arg == "--reports-min-free") {
            options.reportsMinFreeBytes = std::uint64_t(n);
        } else if (arg == "--request-timeout") {
            options.requestSeconds = int(std::clamp(n, 1LL, 3600LL));
        } else {
            return usage(("unknown option " + arg).c_str());
        }
    }
    if (tokenFile.empty())
        return usage("--token-file is required");
    std::ifstream in(tokenFile);
    std::stringstream content;
    content << in.rdbuf();
    options.token = trimmed(content.str());
    if (!in || options.token.empty())
        return usage("the token file is missing or empty");
    if (const char *key = std::getenv("TOLVO_RELAY_UPSTREAM_KEY"))
        options.upstreamKey = key;

    RelayServer server(options);
    const int port = server.bind();
    if (port < 0) {
        std::fprintf(stderr, "tolvo-relay: cannot listen on %s:%d\n", options.host.c_str(), options.port);
        return 1;
    }
    g_server = &server;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::fprintf(stdout, "tolvo-relay listening on %s:%d\n", options.host.c_str(), port);
    std::fflush(stdout);
    return server.serve() ? 0 : 1;
}
