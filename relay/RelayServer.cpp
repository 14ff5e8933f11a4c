#include "RelayServer.h"

#include <httplib.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

const char *const JsonType = "application/json";

void jsonError(httplib::Response &res, int status, const std::string &message, const std::string &code)
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
}

bool isJsonObject(const std::string &body)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(body), &error);
    return error.error == QJsonParseError::NoError && doc.isObject();
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
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", std::gmtime(&now));
    return buffer;
}

} // namespace

RelayServer::RelayServer(RelayOptions options)
    : m_options(std::move(options))
    , m_limiter(m_options.perMinute)
    , m_store(m_options.reportsDir)
    , m_server(std::make_unique<httplib::Server>())
{
    // Bounded work: a fixed pool, short socket time-outs, and no body larger
    // than the largest report is ever read.
    m_server->new_task_queue = [] { return new httplib::ThreadPool(16); };
    m_server->set_read_timeout(15, 0);
    m_server->set_write_timeout(15, 0);
    m_server->set_keep_alive_max_count(20);
    m_server->set_payload_max_length(m_options.maxReportBytes);
    // One line per request; never the token, never the message text.
    m_server->set_logger([](const httplib::Request &req, const httplib::Response &res) {
        std::fprintf(stdout, "%s %s %s %s %d %zu\n", timestamp().c_str(), req.remote_addr.c_str(),
                     req.method.c_str(), req.path.c_str(), res.status, res.body.size());
        std::fflush(stdout);
    });
    installRoutes();
}

RelayServer::~RelayServer() = default;

int RelayServer::bind()
{
    if (m_options.port == 0)
        return m_server->bind_to_any_port(m_options.host);
    return m_server->bind_to_port(m_options.host, m_options.port) ? m_options.port : -1;
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

void RelayServer::installRoutes()
{
    auto authorised = [this](const httplib::Request &req) {
        const std::string header = req.get_header_value("Authorization");
        const std::string prefix = "Bearer ";
        if (header.compare(0, prefix.size(), prefix) != 0)
            return false;
        return sameSecret(header.substr(prefix.size()), m_options.token);
    };

    // Checks that need no body come first, so refused requests are never read.
    auto admit = [this, authorised](const httplib::Request &req, httplib::Response &res,
                                    std::size_t maxBytes) {
        if (!authorised(req)) {
            jsonError(res, 401, "Missing or wrong token.", "unauthorized");
            return false;
        }
        if (req.has_header("Content-Length") &&
            std::strtoull(req.get_header_value("Content-Length").c_str(), nullptr, 10) > maxBytes) {
            jsonError(res, 413, "Request body too large.", "too_large");
            return false;
        }
        if (const int wait = m_limiter.admit(req.remote_addr)) {
            jsonError(res, 429, "Too many requests; try again shortly.", "rate_limited");
            res.set_header("Retry-After", std::to_string(wait));
            return false;
        }
        return true;
    };

    m_server->Get("/health", [](const httplib::Request &, httplib::Response &res) {
        res.set_content("{\"status\":\"ok\"}", JsonType);
    });

    m_server->Post("/v1/chat/completions", [this, admit](const httplib::Request &req, httplib::Response &res,
                                                         const httplib::ContentReader &reader) {
        if (!admit(req, res, m_options.maxChatBytes))
            return;
        std::string body;
        bool tooLarge = false;
        reader([&](const char *data, std::size_t length) {
            if (body.size() + length > m_options.maxChatBytes) {
                tooLarge = true;
                return false;
            }
            body.append(data, length);
            return true;
        });
        if (tooLarge) {
            jsonError(res, 413, "Request body too large.", "too_large");
            return;
        }
        if (!isJsonObject(body)) {
            jsonError(res, 400, "The body must be a JSON object.", "malformed");
            return;
        }

        const auto [base, prefix] = splitUrl(m_options.upstream);
        httplib::Client upstream(base);
        upstream.set_connection_timeout(10, 0);
        upstream.set_read_timeout(60, 0);
        upstream.set_write_timeout(15, 0);
        const std::string path = (prefix == "/" ? std::string() : prefix) + "/v1/chat/completions";
        const httplib::Headers headers = {{"Authorization", "Bearer " + m_options.upstreamKey}};
        const auto result = upstream.Post(path, headers, body, JsonType);
        if (!result) {
            jsonError(res, 502, "The model service could not be reached.", "upstream_unreachable");
            return;
        }
        res.status = result->status;
        const std::string type = result->get_header_value("Content-Type");
        res.set_content(result->body, type.empty() ? JsonType : type.c_str());
    });

    m_server->Post("/report", [this, admit](const httplib::Request &req, httplib::Response &res,
                                            const httplib::ContentReader &reader) {
        if (!admit(req, res, m_options.maxReportBytes))
            return;
        if (!req.is_multipart_form_data()) {
            jsonError(res, 400, "Expected a multipart form.", "malformed");
            return;
        }
        std::vector<ReportPart> parts;
        std::size_t total = 0;
        bool tooLarge = false;
        const bool read = reader(
            [&](const httplib::MultipartFormData &header) {
                parts.push_back({header.name, header.filename, header.content_type, {}});
                return true;
            },
            [&](const char *data, std::size_t length) {
                total += length;
                if (total > m_options.maxReportBytes || parts.empty()) {
                    tooLarge = total > m_options.maxReportBytes;
                    return false;
                }
                parts.back().content.append(data, length);
                return true;
            });
        if (tooLarge) {
            jsonError(res, 413, "Report too large.", "too_large");
            return;
        }
        const auto payload = std::find_if(parts.begin(), parts.end(),
                                          [](const ReportPart &p) { return p.name == "payload_json"; });
        if (!read || payload == parts.end() || !isReportPayload(payload->content)) {
            jsonError(res, 400, "A report needs a payload_json part with an embeds array.", "malformed");
            return;
        }
        if (m_store.store(parts).empty()) {
            jsonError(res, 500, "The report could not be stored.", "storage_failed");
            return;
        }
        if (!m_options.webhook.empty()) {
            httplib::MultipartFormDataItems items;
            for (const ReportPart &part : parts)
                items.push_back({part.name, part.content, part.filename, part.contentType});
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
    });
}
