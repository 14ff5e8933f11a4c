#include "Predictor.h"

#include "Pricing.h"
#include "Prompts.h"
#include "ThinkingPreset.h"
#include "data/BlockingRequest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkRequest>
#include <QUrl>

#include <memory>

namespace {

const QString CHAT_PATH = QStringLiteral("/v1/chat/completions");
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

} // namespace

Predictor::Predictor(QString apiKey, QString model, QString relayBaseUrl, QString relayToken, int timeoutMs)
    : m_apiKey(std::move(apiKey))
    , m_model(std::move(model))
    , m_relayBaseUrl(std::move(relayBaseUrl))
    , m_relayToken(std::move(relayToken))
    , m_openAiBase(openAiBase())
    , m_timeoutMs(timeoutMs)
{
    if (m_apiKey.isEmpty() && (m_relayBaseUrl.isEmpty() || m_relayToken.isEmpty()))
        throw PredictorError(QStringLiteral("No OpenAI API key configured. Add one in Settings."));
}

QString Predictor::openAiBase()
{
    QString base = qEnvironmentVariable("TOLVO_OPENAI_BASE").trimmed();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    if (base.isEmpty())
        return DEFAULT_OPENAI_BASE;
    // A mistyped address would otherwise fail every call with "HTTP 0" and
    // no hint why; the log says what was ignored.
    const QUrl url(base, QUrl::StrictMode);
    const bool web = url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    if (!url.isValid() || !web || url.host().isEmpty()) {
        qWarning("TOLVO_OPENAI_BASE is not an http(s) address; using %s",
                 qUtf8Printable(DEFAULT_OPENAI_BASE));
        return DEFAULT_OPENAI_BASE;
    }
    return base;
}

QString Predictor::endpoint() const
{
    // The relay's address is used as configured, so a relay mounted below a
    // path keeps working.
    return (m_apiKey.isEmpty() ? m_relayBaseUrl : m_openAiBase) + CHAT_PATH;
}

Predictor::RawReply Predictor::post(const QJsonObject &body) const
{
    QNetworkRequest request{QUrl(endpoint())};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    const QString credential = m_apiKey.isEmpty() ? m_relayToken : m_apiKey;
    request.setRawHeader("Authorization", "Bearer " + credential.toUtf8());

    // A time-out or a reply past the cap reads as "no answer" (status 0),
    // whatever part of the body had arrived.
    const HttpReply reply = blockingPost(request, QJsonDocument(body).toJson(QJsonDocument::Compact),
                                         {m_timeoutMs, MaxReplyBytes});
    RawReply raw;
    raw.body = reply.body;
    raw.failed = !reply.ok();
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
                                                   double temperature, int maxTokens) const
{
    QJsonObject body{
        {QStringLiteral("model"), m_model},
        {QStringLiteral("response_format"),
         QJsonObject{{QStringLiteral("type"), QStringLiteral("json_object")}}},
        {QStringLiteral("temperature"), temperature},
        {QStringLiteral("messages"),
         QJsonArray{message(QStringLiteral("system"), system), message(QStringLiteral("user"), user)}},
    };
    if (maxTokens > 0)
        body.insert(QStringLiteral("max_tokens"), maxTokens);

    const RawReply raw = post(body);
    if (raw.failed || raw.status >= 400)
        throwRequestFailed(raw.status);

    const QJsonDocument doc = QJsonDocument::fromJson(raw.body);
    if (!doc.isObject())
        throw PredictorError(QStringLiteral("OpenAI returned malformed JSON"));
    QString content = assistantContent(doc.object());
    if (content.isEmpty())
        content = QStringLiteral("{}");

    const QJsonDocument answer = QJsonDocument::fromJson(content.toUtf8());
    if (!answer.isObject())
        throw PredictorError(QStringLiteral("Model returned malformed JSON"));
    return {answer.object(), costOfReply(doc.object())};
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
    const auto [reply, cost] = chatJson(QUICK_SYSTEM_PROMPT_BASE, context, preset.quickTemperature, 0);
    return predictionFromQuickReply(match, reply, m_model, cost);
}

Prediction Predictor::predictReasoning(const Match &match, const QString &context,
                                       const Prediction &prediction, const QString &depth) const
{
    Q_UNUSED(match); // the context already says everything about the fixture
    const ThinkingPreset preset = thinkingPreset(depth);
    const auto [reply, cost] =
        chatJson(reasoningSystemPrompt(preset.keyFactorCount), reasoningUserText(context, prediction),
                 preset.reasoningTemperature, preset.reasoningMaxTokens);
    return withReasoning(prediction, reply, cost);
}
