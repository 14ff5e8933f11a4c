#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

// What a chat request may ask of the operator's key.
struct ChatLimits
{
    QSet<QString> models; // the allow-list
    int maxTokens = 1000;
    int maxMessages = 40;
    int maxTextBytes = 64 * 1024; // all message contents together, UTF-8
};

struct ChatRewrite
{
    QByteArray body; // what goes upstream; empty when refused
    QString error;   // why it was refused
    int maxTokens = 0;
};

// The upstream request built from a client's chat body: the model (allowed
// ones only), the messages (roles and text only), the temperature clamped to
// 0–2, max_tokens at most the limit (the limit when absent), n of 1, and a
// response_format only of the JSON kinds. Every other field is dropped, so a
// client cannot ask for many completions, streams, tools or other models.
ChatRewrite rewriteChatRequest(const QByteArray &clientBody, const ChatLimits &limits);

// The tokens a reply's "usage" reports, or `fallback` when it reports none.
qint64 usedTokens(const QByteArray &replyBody, qint64 fallback);
