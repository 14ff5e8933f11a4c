#pragma once

#include "PredictorError.h"
#include "model/Match.h"
#include "model/Prediction.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// The system text of every chat-page conversation.
inline const QString CHAT_SYSTEM_PROMPT =
    QStringLiteral("You are Tolvo, a friendly football (soccer) expert having a conversation. "
                   "Answer questions about football knowledgeably and concisely.");

// (role, content) pairs of a conversation, oldest first.
using ChatHistory = std::vector<std::pair<QString, QString>>;

// The one client of the language model. It talks to the OpenAI
// chat-completions API with the user's key, or to the build's relay when the
// user has none. Every call blocks the calling worker thread until the reply
// arrives or the time limit passes; never call it on the GUI thread.
//
// Immutable after construction, so one instance may serve several workers at
// once: each call builds its own network objects.
class Predictor
{
public:
    static constexpr int DefaultTimeoutMs = 45000;
    // A model reply past this size is refused like a failed call.
    static constexpr qint64 MaxReplyBytes = 2 * 1024 * 1024;

    // Throws PredictorError when there is neither an API key nor a complete
    // relay configuration to fall back on. `serviceBase` is the address the
    // user named (settings "openai_base_url"); a server of their own is used
    // without a key too, since local servers need none. `timeoutMs`: how long
    // one call may wait for its reply.
    Predictor(QString apiKey, QString model, QString relayBaseUrl, QString relayToken,
              QString serviceBase = QString(), int timeoutMs = DefaultTimeoutMs);

    const QString &model() const { return m_model; }
    // Where requests go: the OpenAI service with a key, the relay without.
    QString endpoint() const;

    // One chat turn with the conversation so far → (reply text, cost in £).
    std::pair<QString, double> chat(const ChatHistory &history, const QString &userText) const;

    // A call that must answer with a JSON object → (object, cost in £).
    // `maxTokens` <= 0 leaves the reply length to the service. `schema`
    // describes the object for servers that only take a json_schema format.
    std::pair<QJsonObject, double> chatJson(const QString &system, const QString &user, double temperature,
                                            int maxTokens, const QJsonObject &schema = {}) const;

    // One tiny chat call with this key, address and model; returns how long
    // the answer took in ms, or throws PredictorError in plain words.
    qint64 testConnection() const;
    // The model ids the service lists (GET /v1/models).
    QStringList listModels() const;

    double costOf(const QJsonObject &usage) const;

    // The quick call on a fixture, from the context text of buildContext().
    Prediction predictQuick(const Match &match, const QString &context, const QString &depth) const;
    // The written reasoning behind `prediction`, asked with the same context.
    Prediction predictReasoning(const Match &match, const QString &context, const Prediction &prediction,
                                const QString &depth) const;

    // The OpenAI base address: the value of TOLVO_OPENAI_BASE, else the
    // `configured` one, else "https://api.openai.com".
    static QString openAiBase(const QString &configured = QString());
    // Why `address` cannot be a service address, or empty when it can
    // (empty itself stands for the default).
    static QString serviceAddressProblem(const QString &address);

private:
    struct RawReply
    {
        QByteArray body;
        int status = 0;
        bool failed = false;
        int networkError = 0; // QNetworkReply::NetworkError
    };
    RawReply post(const QJsonObject &body) const;
    double costOfReply(const QJsonObject &reply) const;

    QString m_apiKey;
    QString m_model;
    QString m_relayBaseUrl;
    QString m_relayToken;
    QString m_openAiBase;
    bool m_ownService = false;

    int m_timeoutMs;
};
