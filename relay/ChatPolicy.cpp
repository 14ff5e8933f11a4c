#include "ChatPolicy.h"

#include "ai/Pricing.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

ChatRewrite rewriteChatRequest(const QByteArray &clientBody, const ChatLimits &limits)
{
    ChatRewrite result;
    const QJsonDocument doc = QJsonDocument::fromJson(clientBody);
    if (!doc.isObject()) {
        result.error = QStringLiteral("The body must be a JSON object.");
        return result;
    }
    const QJsonObject in = doc.object();

    const QString model = in.value(QStringLiteral("model")).toString();
    if (!limits.models.contains(model)) {
        result.error = QStringLiteral("This relay does not serve the model \"%1\".").arg(model.left(40));
        return result;
    }

    const QJsonArray messages = in.value(QStringLiteral("messages")).toArray();
    if (messages.isEmpty() || messages.size() > limits.maxMessages) {
        result.error = QStringLiteral("A chat needs 1 to %1 messages.").arg(limits.maxMessages);
        return result;
    }
    static const QSet<QString> roles = {QStringLiteral("system"), QStringLiteral("user"),
                                        QStringLiteral("assistant")};
    QJsonArray outMessages;
    qsizetype textBytes = 0;
    for (const QJsonValue &value : messages) {
        const QJsonObject message = value.toObject();
        const QString role = message.value(QStringLiteral("role")).toString();
        const QJsonValue content = message.value(QStringLiteral("content"));
        if (!roles.contains(role) || !content.isString()) {
            result.error = QStringLiteral("Each message needs a system, user or assistant role and text.");
            return result;
        }
        textBytes += content.toString().toUtf8().size();
        outMessages.append(QJsonObject{{QStringLiteral("role"), role}, {QStringLiteral("content"), content}});
    }
    if (textBytes > limits.maxTextBytes) {
        result.error =
            QStringLiteral("The messages hold more than %1 KiB of text.").arg(limits.maxTextBytes / 1024);
        return result;
    }

    QJsonObject out{{QStringLiteral("model"), model},
                    {QStringLiteral("messages"), outMessages},
                    {QStringLiteral("n"), 1}};
    const QJsonValue temperature = in.value(QStringLiteral("temperature"));
    if (temperature.isDouble())
        out.insert(QStringLiteral("temperature"), std::clamp(temperature.toDouble(), 0.0, 2.0));
    const QJsonValue maxTokens = in.value(QStringLiteral("max_tokens"));
    result.maxTokens = limits.maxTokens;
    if (maxTokens.isDouble() && maxTokens.toDouble() >= 1)
        result.maxTokens = int(std::min(maxTokens.toDouble(), double(limits.maxTokens)));
    out.insert(QStringLiteral("max_tokens"), result.maxTokens);
    const QJsonObject format = in.value(QStringLiteral("response_format")).toObject();
    const QString formatType = format.value(QStringLiteral("type")).toString();
    if (formatType == QLatin1String("json_object")) {
        out.insert(QStringLiteral("response_format"), QJsonObject{{QStringLiteral("type"), formatType}});
    } else if (formatType == QLatin1String("json_schema") &&
               format.value(QStringLiteral("json_schema")).isObject()) {
        out.insert(QStringLiteral("response_format"),
                   QJsonObject{{QStringLiteral("type"), formatType},
                               {QStringLiteral("json_schema"), format.value(QStringLiteral("json_schema"))}});
    }
    result.body = QJsonDocument(out).toJson(QJsonDocument::Compact);
    return result;
}

qint64 usedTokens(const QByteArray &replyBody, qint64 fallback)
{
    const QJsonObject usage =
        QJsonDocument::fromJson(replyBody).object().value(QStringLiteral("usage")).toObject();
    if (usage.isEmpty())
        return fallback;
    if (usage.contains(QStringLiteral("total_tokens"))) // reasoning tokens included
        return usage.value(QStringLiteral("total_tokens")).toInteger();
    const auto [prompt, completion] = usageTokens(usage);
    return qint64(prompt) + completion;
}
