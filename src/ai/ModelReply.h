#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

// Reading what a model service sends back, whichever server it is: OpenAI
// itself, or a local one (LM Studio, Ollama, llama.cpp) whose models wrap
// their JSON in prose, fences or a thinking block.

// The first complete JSON object in a model's text, after dropping a leading
// <think>…</think> block. An empty text reads as an empty object; a text
// holding no object gives nothing.
std::optional<QJsonObject> objectInModelText(const QString &text);

// How a call asks for a JSON reply. Servers differ in what they accept.
enum class ReplyFormat { JsonObject, JsonSchema, None };

// The "response_format" member for `format` (undefined for None); `schema`
// describes the reply object for JsonSchema.
QJsonObject responseFormat(ReplyFormat format, const QJsonObject &schema);

// Whether a failed call was refused for its response_format alone.
bool refusesResponseFormat(int status, const QByteArray &body);

// What worked last for a chat address; JsonObject until something else did.
// Kept until the program ends, shared by every thread.
ReplyFormat rememberedReplyFormat(const QString &endpoint);
void rememberReplyFormat(const QString &endpoint, ReplyFormat format);

// Schemas of the two reply objects of a prediction.
QJsonObject quickReplySchema();
QJsonObject reasoningReplySchema();

// The quick call as read from a lenient reply: numbers as JSON numbers,
// numeric strings or "55%"; fractions of 1 as percentages; the three chances
// scaled to sum to exactly 100; the outcome in any letter case.
struct QuickCall
{
    QString outcome = QStringLiteral("DRAW");
    int homeWinPct = 0;
    int drawPct = 0;
    int awayWinPct = 0;
    QString scoreline = QStringLiteral("?-?");
    int confidence = 0;
};
QuickCall readQuickCall(const QJsonObject &reply);
