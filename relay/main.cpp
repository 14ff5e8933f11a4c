#include "RelayServer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

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
    std::fprintf(stderr, "usage: tolvo-relay --token-file FILE [--listen HOST:PORT] [--upstream URL]\n"
                         "                   [--reports-dir DIR] [--webhook URL] [--rate-limit N]\n"
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

} // namespace

int main(int argc, char **argv)
{
    RelayOptions options;
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
        } else if (arg == "--rate-limit") {
            options.perMinute = std::atoi(value.c_str());
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
