#include "Predictor.h"

#include "ModelReply.h"
#include "Pricing.h"
#include "Prompts.h"
#include "ThinkingPreset.h"
#include "data/BlockingRequest.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkRequest>
#include <QUrl>

#include <memory>

namespace {

const QString CHAT_PATH = QStringLiteral("/v1/chat/completions");
const QString MODELS_PATH = QStringLiteral("/v1/models");
const QString DEFAULT_OPENAI_BASE = QStringLiteral("https://api.openai.com");

QJsonObject message(const QString &role, const QString &content)
{
    return QJsonObject{{QStringLiteral("role"), role}, {QStringLiteral("content"), content}};
}

// The assistant text of a chat-completions reply; missing levels give "".
QString assistantContent(const QJsonObject &reply)
{
    return reply.value(QLatin1String("choices"))
        .toArray()
        .at(0)
        .toObject()
        .value(QLatin1String("message"))
        .toObject()
        .value(QLatin1String("content"))
        .toString();
}

[[noreturn]] void throwRequestFailed(int status)
{
    throw PredictorError(QStringLiteral("OpenAI request failed (HTTP %1)").arg(status));
}

// A failed call to `base` in the words a user setting up a service needs.
[[noreturn]] void throwInPlainWords(const QString &base, int status, int networkError, const QByteArray &body)
{
    QString text;
    if (status == 401 || status == 403)
        text =
            QStringLiteral("The service refused the API key (HTTP %1): check that it is right.").arg(status);
    else if (status == 404)
        text = QStringLiteral("%1 is not an OpenAI-compatible address (HTTP 404).").arg(base);
    else if (networkError == QNetworkReply::ConnectionRefusedError)
        text = QStringLiteral("Nothing listens at %1: check the address and that the server runs.").arg(base);
    else if (networkError == QNetworkReply::HostNotFoundError)
        text = QStringLiteral("The host of %1 was not found.").arg(base);
    else if (status == 0 && networkError == QNetworkReply::OperationCanceledError)
        text = QStringLiteral("%1 did not answer in time.").arg(base);
    else if (status == 0)
        text = QStringLiteral("Could not reach %1.").arg(base);
    else
        text = QStringLiteral("The service answered HTTP %1.").arg(status);
    // Servers say what is wrong with a model or a request in their own words.
    const QJsonValue error = QJsonDocument::fromJson(body).object().value(QLatin1String("error"));
    const QString detail = (error.isObject() ? error.toObject().value(QLatin1String("message")) : error)
                               .toString()
                               .simplified()
                               .left(200);
    if (status >= 400 && status != 404 && !detail.isEmpty())
        text += QLatin1Char(' ') + detail;
    throw PredictorError(text);
}

} // namespace

Predictor::Predictor(QString apiKey, QString model, QString relayBaseUrl, QString relayToken,
                     QString serviceBase, int timeoutMs)
    : m_apiKey(std::move(apiKey))
    , m_model(std::move(model))
    , m_relayBaseUrl(std::move(relayBaseUrl))
    , m_relayToken(std::move(relayToken))
    , m_openAiBase(openAiBase(serviceBase))
    , m_ownService(!serviceBase.trimmed().isEmpty())
    , m_timeoutMs(timeoutMs)
{
    if (m_apiKey.isEmpty() && !m_ownService && (m_relayBaseUrl.isEmpty() || m_relayToken.isEmpty()))
        throw PredictorError(QStringLiteral("No OpenAI API key configured. Add one in Settings."));
}

QString Predictor::serviceAddressProblem(const QString &address)
{
    const QString text = address.trimmed();
    if (text.isEmpty())
        return {};
    const QUrl url(text, QUrl::StrictMode);
    const bool web = url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    if (!url.isValid() || !web || url.host().isEmpty())
        return QStringLiteral("Enter an http:// or https:// address, such as http://localhost:11434.");
    return {};
}

QString Predictor::openAiBase(const QString &configured)
{
    const bool fromEnvironment = !qEnvironmentVariable("TOLVO_OPENAI_BASE").trimmed().isEmpty();
    QString base =
        fromEnvironment ? qEnvironmentVariable("TOLVO_OPENAI_BASE").trimmed() : configured.trimmed();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    if (base.isEmpty())
        return DEFAULT_OPENAI_BASE;
    // A mistyped address would otherwise fail every call with "HTTP 0" and
    // no hint why; the log says what was ignored.
    if (!serviceAddressProblem(base).isEmpty()) {
        qWarning("%s is not an http(s) address; using %s",
                 fromEnvironment ? "TOLVO_OPENAI_BASE" : "openai_base_url",
                 qUtf8Printable(DEFAULT_OPENAI_BASE));
        return DEFAULT_OPENAI_BASE;
    }
    return base;
}

QString Predictor::endpoint() const
{
    // The relay's address is used as configured, so a relay mounted below a
    // path keeps working.
    return (m_apiKey.isEmpty() && !m_ownService ? m_relayBaseUrl : m_openAiBase) + CHAT_PATH;
}

Predictor::RawReply Predictor::post(const QJsonObject &body) const
{
    QNetworkRequest request{QUrl(endpoint())};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    const QString credential = m_apiKey.isEmpty() && !m_ownService ? m_relayToken : m_apiKey;
    if (!credential.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + credential.toUtf8());
    // The key must never leave for a host the user did not name.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);

    // A time-out or a reply past the cap reads as "no answer" (status 0),
    // whatever part of the body had arrived.
    const HttpReply reply = blockingPost(request, QJsonDocument(body).toJson(QJsonDocument::Compact),
                                         {m_timeoutMs, MaxReplyBytes});
    RawReply raw;
    raw.body = reply.body;
    raw.failed = !reply.ok();
    raw.networkError = reply.cancelled || reply.timedOut || reply.tooLarge
                           ? QNetworkReply::OperationCanceledError
                           : reply.error;
    raw.status = reply.status;
    return raw;
}

double Predictor::costOf(const QJsonObject &usage) const
{
    const auto tokens = usageTokens(usage);
    return costGbp(m_model, tokens.first, tokens.second);
}

double Predictor::costOfReply(const QJsonObject &reply) const
{
    return costOf(reply.value(QLatin1String("usage")).toObject());
}

std::pair<QJsonObject, double> Predictor::chatJson(const QString &system, const QString &user,
                                                   double temperature, int maxTokens,
                                                   const QJsonObject &schema) const
{
    QJsonObject body{
        {QStringLiteral("model"), m_model},
        {QStringLiteral("temperature"), temperature},
        {QStringLiteral("messages"),
         QJsonArray{message(QStringLiteral("system"), system), message(QStringLiteral("user"), user)}},
    };
    if (maxTokens > 0)
        body.insert(QStringLiteral("max_tokens"), maxTokens);

    // Servers that refuse json_object are asked again with a schema, then
    // with no format at all; what worked is kept for this address.
    const QString address = endpoint();
    ReplyFormat format = rememberedReplyFormat(address);
    RawReply raw;
    for (;;) {
        if (format == ReplyFormat::None)
            body.remove(QStringLiteral("response_format"));
        else
            body.insert(QStringLiteral("response_format"), responseFormat(format, schema));
        raw = post(body);
        if (format == ReplyFormat::None || !refusesResponseFormat(raw.status, raw.body))
            break;
        format = format == ReplyFormat::JsonObject ? ReplyFormat::JsonSchema : ReplyFormat::None;
    }
    if (raw.failed || raw.status >= 400)
        throwRequestFailed(raw.status);
    rememberReplyFormat(address, format);

    const QJsonDocument doc = QJsonDocument::fromJson(raw.body);
    if (!doc.isObject())
        throw PredictorError(QStringLiteral("OpenAI returned malformed JSON"));
    const std::optional<QJsonObject> answer = objectInModelText(assistantContent(doc.object()));
    if (!answer)
        throw PredictorError(QStringLiteral("Model returned malformed JSON"));
    return {*answer, costOfReply(doc.object())};
}

qint64 Predictor::testConnection() const
{
    const QJsonObject body{
        {QStringLiteral("model"), m_model},
        {QStringLiteral("max_tokens"), 5},
        {QStringLiteral("messages"), QJsonArray{message(QStringLiteral("user"), QStringLiteral("Say OK."))}},
    };
    QElapsedTimer clock;
    clock.start();
    const RawReply raw = post(body);
    const qint64 elapsed = clock.elapsed();
    const QString base = endpoint().chopped(CHAT_PATH.size());
    if (raw.failed || raw.status >= 400)
        throwInPlainWords(base, raw.status, raw.networkError, raw.body);
    if (!QJsonDocument::fromJson(raw.body).isObject())
        throw PredictorError(
            QStringLiteral("%1 did not answer like an OpenAI-compatible service.").arg(base));
    return elapsed;
}

QStringList Predictor::listModels() const
{
    const QString base = endpoint().chopped(CHAT_PATH.size());
    QNetworkRequest request{QUrl(base + MODELS_PATH)};
    const QString credential = m_apiKey.isEmpty() && !m_ownService ? m_relayToken : m_apiKey;
    if (!credential.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + credential.toUtf8());
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);

    const HttpReply reply = blockingGet(request, {m_timeoutMs, MaxReplyBytes});
    if (!reply.ok() || reply.status >= 400)
        throwInPlainWords(base, reply.status, reply.error, reply.body);
    const QByteArray &bytes = reply.body;

    QStringList ids;
    for (const QJsonValue &entry :
         QJsonDocument::fromJson(bytes).object().value(QLatin1String("data")).toArray()) {
        const QString id = entry.toObject().value(QLatin1String("id")).toString().trimmed();
        if (!id.isEmpty() && !ids.contains(id))
            ids.append(id);
    }
    return ids;
}

std::pair<QString, double> Predictor::chat(const ChatHistory &history, const QString &userText) const
{
    QJsonArray messages{message(QStringLiteral("system"), CHAT_SYSTEM_PROMPT)};
    for (const auto &turn : history)
        messages.append(message(turn.first, turn.second));
    messages.append(message(QStringLiteral("user"), userText));

    const QJsonObject body{
        {QStringLiteral("model"), m_model},
        {QStringLiteral("temperature"), 0.7},
        {QStringLiteral("max_tokens"), 400},
        {QStringLiteral("messages"), messages},
    };

    const RawReply raw = post(body);
    if (raw.failed || raw.status >= 400)
        throwRequestFailed(raw.status);

    const QJsonObject reply = QJsonDocument::fromJson(raw.body).object();
    const QString text = assistantContent(reply).trimmed();
    if (text.isEmpty())
        throw PredictorError(QStringLiteral("The model returned an empty reply."));
    return {text, costOfReply(reply)};
}

Prediction Predictor::predictQuick(const Match &match, const QString &context, const QString &depth) const
{
    const ThinkingPreset preset = thinkingPreset(depth);
    const auto [reply, cost] =
        chatJson(QUICK_SYSTEM_PROMPT_BASE, context, preset.quickTemperature, 0, quickReplySchema());
    return predictionFromQuickReply(match, reply, m_model, cost);
}

Prediction Predictor::predictReasoning(const Match &match, const QString &context,
                                       const Prediction &prediction, const QString &depth) const
{
    Q_UNUSED(match); // the context already says everything about the fixture
    const ThinkingPreset preset = thinkingPreset(depth);
    const auto [reply, cost] =
        chatJson(reasoningSystemPrompt(preset.keyFactorCount), reasoningUserText(context, prediction),
                 preset.reasoningTemperature, preset.reasoningMaxTokens, reasoningReplySchema());
    return withReasoning(prediction, reply, cost);
}
