#include "RelayServer.h"

#include "GuardedServer.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>

namespace {

const char *const JsonType = "application/json";
const char *const ChatPath = "/v1/chat/completions";
const char *const ReportPath = "/report";
constexpr std::size_t MaxReportParts = 8;
constexpr std::size_t MaxLoggedPath = 200;
constexpr std::size_t MaxHeadBytes = 64 * 1024;

void jsonError(httplib::Response &res, int status, const std::string &message, const std::string &code,
               int retryAfter = 0)
{
    // The same shape the model service uses, so clients show one kind of error.
    const QJsonObject error{{QStringLiteral("message"), QString::fromStdString(message)},
                            {QStringLiteral("type"), QStringLiteral("relay_error")},
                            {QStringLiteral("code"), QString::fromStdString(code)}};
    res.status = status;
    res.set_content(QJsonDocument(QJsonObject{{QStringLiteral("error"), error}})
                        .toJson(QJsonDocument::Compact)
                        .toStdString(),
                    JsonType);
    if (retryAfter > 0)
        res.set_header("Retry-After", std::to_string(retryAfter));
}

bool isReportPayload(const std::string &body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(body));
    return doc.isObject() && doc.object().value(QStringLiteral("embeds")).isArray();
}

// Splits "scheme://host[:port]/path" into the client base and the path.
std::pair<std::string, std::string> splitUrl(const std::string &url)
{
    const auto schemeEnd = url.find("://");
    const auto pathStart = url.find('/', schemeEnd == std::string::npos ? 0 : schemeEnd + 3);
    if (pathStart == std::string::npos)
        return {url, "/"};
    return {url.substr(0, pathStart), url.substr(pathStart)};
}

std::string timestamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
#ifdef Q_OS_WIN
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &utc);
    return buffer;
}

// Text from a stranger made fit for one log line: no token, printable ASCII
// only (everything else as \xHH, so no forged line breaks), bounded length.
std::string loggable(std::string text, const std::string &token)
{
    for (auto at = text.find(token); !token.empty() && at != std::string::npos; at = text.find(token, at))
        text.replace(at, token.size(), "[token]");
    std::string out;
    for (const char c : text.substr(0, MaxLoggedPath)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f || c == '\\') {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return text.size() > MaxLoggedPath ? out + "..." : out;
}

// The status a client sees for a refusal of the model service; its own
// message stays here, since it may name the operator's account.
int clientStatusFor(int upstreamStatus)
{
    return upstreamStatus == 400 || upstreamStatus == 429 ? upstreamStatus : 502;
}

} // namespace

RelayServer::RelayServer(RelayOptions options)
    : m_options(std::move(options))
    , m_limiter(m_options.perMinute)
    , m_badTokens(m_options.badTokensPerMinute)
    , m_budget(m_options.dailyTokens)
    , m_store(m_options.reportsDir, m_options.reportsMaxBytes, m_options.reportsMinFreeBytes)
    , m_server(std::make_unique<GuardedServer>(std::chrono::seconds(m_options.requestSeconds),
                                               m_options.maxReportBytes + MaxHeadBytes))
{
    const int threads = m_options.threads;
    m_server->new_task_queue = [threads] { return new httplib::ThreadPool(std::size_t(threads)); };
    m_server->set_payload_max_length(m_options.maxReportBytes);
    m_server->set_logger(
        [this](const httplib::Request &req, const httplib::Response &res) { log(req, res); });
    installRoutes();
}

RelayServer::~RelayServer() = default;

int RelayServer::bind()
{
    const int port = m_options.port == 0
                         ? m_server->bind_to_any_port(m_options.host)
                         : (m_server->bind_to_port(m_options.host, m_options.port) ? m_options.port : -1);
    if (port > 0)
        m_server->widenBacklog();
    return port;
}

bool RelayServer::serve()
{
    return m_server->listen_after_bind();
}

void RelayServer::stop()
{
    m_server->stop();
}

bool RelayServer::sameSecret(const std::string &given, const std::string &expected)
{
    // Walk the whole given text whatever matches, so timing does not reveal
    // how much of a guess was right.
    unsigned char diff = given.size() == expected.size() ? 0 : 1;
    for (std::size_t i = 0; i < given.size(); ++i) {
        const char e = expected.empty() ? 0 : expected[i % expected.size()];
        diff |= static_cast<unsigned char>(given[i] ^ e);
    }
    return diff == 0 && !expected.empty();
}

std::string RelayServer::clientAddress(const httplib::Request &req) const
{
    if (!m_options.trustedProxy.empty() && req.remote_addr == m_options.trustedProxy) {
        const std::string real = req.get_header_value("X-Real-IP");
        if (!real.empty())
            return real;
    }
    return req.remote_addr;
}

void RelayServer::log(const httplib::Request &req, const httplib::Response &res) const
{
    // One line per request; never the token, never the message text.
    std::fprintf(stdout, "%s %s %s %s %d %zu\n", timestamp().c_str(),
                 loggable(clientAddress(req), m_options.token).c_str(),
                 loggable(req.method, m_options.token).c_str(), loggable(req.path, m_options.token).c_str(),
                 res.status, res.body.size());
    std::fflush(stdout);
}

bool RelayServer::bodiless(const httplib::Request &req, httplib::Response &res)
{
    // Only POST routes read bodies within limits; cpp-httplib would read any
    // other method's body whole, so none may come.
    if (req.method != "GET" && req.method != "HEAD") {
        jsonError(res, 405, "Method not allowed.", "method_not_allowed");
        return false;
    }
    const std::string length = req.get_header_value("Content-Length");
    if (req.has_header("Transfer-Encoding") || !(length.empty() || length == "0")) {
        jsonError(res, 400, "This request takes no body.", "malformed");
        return false;
    }
    return true;
}

bool RelayServer::admit(const httplib::Request &req, httplib::Response &res)
{
    const std::string client = clientAddress(req);
    // Once an address has guessed wrong too often, even a right token waits,
    // so the answers reveal nothing more to a guesser.
    if (const int wait = m_badTokens.retryAfter(client)) {
        jsonError(res, 429, "Too many wrong tokens; try again later.", "too_many_wrong_tokens", wait);
        return false;
    }
    const std::string header = req.get_header_value("Authorization");
    const std::string prefix = "Bearer ";
    if (header.compare(0, prefix.size(), prefix) != 0 ||
        !sameSecret(header.substr(prefix.size()), m_options.token)) {
        m_badTokens.admit(client);
        jsonError(res, 401, "Missing or wrong token.", "unauthorized");
        return false;
    }
    // Only a declared length bounds what is read before the body is seen.
    const std::string length = req.get_header_value("Content-Length");
    if (req.has_header("Transfer-Encoding") || length.empty() ||
        length.find_first_not_of("0123456789") != std::string::npos) {
        jsonError(res, 411, "A Content-Length is required.", "length_required");
        return false;
    }
    // A compressed body would be inflated past every limit before being seen.
    std::string encoding = req.get_header_value("Content-Encoding");
    std::transform(encoding.begin(), encoding.end(), encoding.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (!encoding.empty() && encoding != "identity") {
        jsonError(res, 415, "Compressed bodies are not accepted.", "unsupported_encoding");
        return false;
    }
    const std::size_t limit = req.path == ReportPath ? m_options.maxReportBytes : m_options.maxChatBytes;
    if (length.size() > 12 || std::stoull(length) > limit) {
        jsonError(res, 413, "Request body too large.", "too_large");
        return false;
    }
    if (const int wait = m_limiter.admit(client)) {
        jsonError(res, 429, "Too many requests; try again shortly.", "rate_limited", wait);
        return false;
    }
    if (req.path == ChatPath) {
        if (const int wait = m_budget.secondsUntilRefill()) {
            jsonError(res, 429, "The relay's daily budget is spent; try again after midnight UTC.",
                      "daily_budget_spent", wait);
            return false;
        }
    }
    return true;
}

void RelayServer::chat(const std::string &body, httplib::Response &res)
{
    const ChatRewrite request = rewriteChatRequest(QByteArray::fromStdString(body), m_options.chat);
    if (!request.error.isEmpty()) {
        jsonError(res, 400, request.error.toStdString(), "invalid_request");
        return;
    }
    // A hanging model service may hold only some of the threads.
    if (++m_chatsInFlight > m_options.maxChatsInFlight) {
        --m_chatsInFlight;
        jsonError(res, 503, "The relay is busy; try again shortly.", "busy", 5);
        return;
    }
    struct Slot
    {
        std::atomic<int> &count;
        ~Slot() { --count; }
    } slot{m_chatsInFlight};

    const auto [base, prefix] = splitUrl(m_options.upstream);
    httplib::Client upstream(base);
    upstream.set_connection_timeout(10, 0);
    upstream.set_read_timeout(45, 0); // as long as the program waits for a model call
    upstream.set_write_timeout(15, 0);
    httplib::Request out;
    out.method = "POST";
    out.path = (prefix == "/" ? std::string() : prefix) + ChatPath;
    out.headers = {{"Authorization", "Bearer " + m_options.upstreamKey}, {"Content-Type", JsonType}};
    out.body = request.body.toStdString();
    std::string reply;
    bool tooLarge = false;
    out.content_receiver = [&](const char *data, std::size_t length, std::uint64_t, std::uint64_t) {
        tooLarge = reply.size() + length > m_options.maxUpstreamReplyBytes;
        if (!tooLarge)
            reply.append(data, length);
        return !tooLarge;
    };
    httplib::Response in;
    httplib::Error error = httplib::Error::Success;
    const bool answered = upstream.send(out, in, error);
    if (tooLarge) {
        jsonError(res, 502, "The model service's reply was too large.", "upstream_too_large");
        return;
    }
    if (!answered) {
        jsonError(res, 502, "The model service could not be reached.", "upstream_unreachable");
        return;
    }
    if (in.status != 200) {
        jsonError(res, clientStatusFor(in.status),
                  "The model service refused the request (" + std::to_string(in.status) + ").",
                  "upstream_error");
        return;
    }
    m_budget.spend(usedTokens(QByteArray::fromStdString(reply), request.maxTokens));
    res.status = 200;
    res.set_content(reply, JsonType);
}

void RelayServer::report(const std::vector<ReportPart> &parts, httplib::Response &res)
{
    const auto payloads = std::count_if(parts.begin(), parts.end(),
                                        [](const ReportPart &p) { return p.name == "payload_json"; });
    const auto payload = std::find_if(parts.begin(), parts.end(),
                                      [](const ReportPart &p) { return p.name == "payload_json"; });
    if (payloads != 1 || !isReportPayload(payload->content)) {
        jsonError(res, 400, "A report needs one payload_json part with an embeds array.", "malformed");
        return;
    }
    switch (m_store.store(parts)) {
    case ReportStore::Outcome::Full:
        jsonError(res, 507, "The relay has no room for more reports.", "insufficient_storage");
        return;
    case ReportStore::Outcome::Failed:
        jsonError(res, 500, "The report could not be stored.", "storage_failed");
        return;
    case ReportStore::Outcome::Stored:
        break;
    }
    if (!m_options.webhook.empty()) {
        // Forwarded under the stored names: nothing the client wrote reaches
        // the webhook's headers.
        httplib::MultipartFormDataItems items;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const ReportPart &part = parts[i];
            const bool isPayload = part.name == "payload_json";
            items.push_back({isPayload ? part.name : "file" + std::to_string(i), part.content,
                             isPayload ? std::string() : ReportStore::fileName(part, int(i)),
                             isPayload ? std::string() : "application/octet-stream"});
        }
        const auto [base, path] = splitUrl(m_options.webhook);
        httplib::Client hook(base);
        hook.set_connection_timeout(10, 0);
        hook.set_read_timeout(20, 0);
        const auto result = hook.Post(path, items);
        if (!result || result->status >= 400)
            std::fprintf(stdout, "%s webhook delivery failed (%d)\n", timestamp().c_str(),
                         result ? result->status : 0);
    }
    res.status = 204;
}

void RelayServer::installRoutes()
{
    // Runs once the head is read and before any body byte is.
    m_server->set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
        if (req.method == "POST" ? admit(req, res) : bodiless(req, res))
            return httplib::Server::HandlerResponse::Unhandled;
        return httplib::Server::HandlerResponse::Handled;
    });

    m_server->Get("/health", [](const httplib::Request &, httplib::Response &res) {
        res.set_content("{\"status\":\"ok\"}", JsonType);
    });

    m_server->Post(ChatPath, [this](const httplib::Request &, httplib::Response &res,
                                    const httplib::ContentReader &reader) {
        std::string body;
        const bool read = reader([&](const char *data, std::size_t length) {
            body.append(data, length); // bounded by the admitted Content-Length
            return true;
        });
        if (!read) {
            jsonError(res, 400, "The body could not be read.", "malformed");
            return;
        }
        chat(body, res);
    });

    m_server->Post(ReportPath, [this](const httplib::Request &req, httplib::Response &res,
                                      const httplib::ContentReader &reader) {
        if (!req.is_multipart_form_data()) {
            jsonError(res, 400, "Expected a multipart form.", "malformed");
            return;
        }
        // Every byte read is within the admitted Content-Length, part heads
        // included; the part count is checked as each head arrives.
        std::vector<ReportPart> parts;
        bool tooManyParts = false;
        const bool read = reader(
            [&](const httplib::MultipartFormData &head) {
                tooManyParts = parts.size() == MaxReportParts;
                if (!tooManyParts)
                    parts.push_back({head.name, head.filename, head.content_type, {}});
                return !tooManyParts;
            },
            [&](const char *data, std::size_t length) {
                if (parts.empty())
                    return false;
                parts.back().content.append(data, length);
                return true;
            });
        if (tooManyParts) {
            jsonError(res, 413, "A report has at most 8 parts.", "too_many_parts");
            return;
        }
        if (!read) {
            jsonError(res, 400, "The report could not be read.", "malformed");
            return;
        }
        report(parts, res);
    });
}
