#include "ModelReply.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QMutex>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

QMutex s_formatsLock;
QMap<QString, ReplyFormat> s_formats;

// The end of the JSON object starting at `from` (an opening brace), counting
// braces outside strings; -1 when the text ends first.
qsizetype objectEnd(const QString &text, qsizetype from)
{
    int depth = 0;
    bool inString = false;
    for (qsizetype i = from; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (inString) {
            if (c == QLatin1Char('\\'))
                ++i;
            else if (c == QLatin1Char('"'))
                inString = false;
        } else if (c == QLatin1Char('"')) {
            inString = true;
        } else if (c == QLatin1Char('{')) {
            ++depth;
        } else if (c == QLatin1Char('}') && --depth == 0) {
            return i;
        }
    }
    return -1;
}

// A number written as a JSON number, "55", "55.5" or "55 %".
std::optional<double> numberIn(const QJsonValue &value)
{
    double number = 0;
    if (value.isDouble()) {
        number = value.toDouble();
    } else if (value.isString()) {
        QString text = value.toString().trimmed();
        if (text.endsWith(QLatin1Char('%')))
            text = text.chopped(1).trimmed();
        bool ok = false;
        number = text.toDouble(&ok);
        if (!ok)
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    if (!std::isfinite(number))
        return std::nullopt;
    return std::max(0.0, number);
}

QString outcomeIn(const QJsonValue &value)
{
    const QString text = value.toString().trimmed().toUpper();
    for (const char *outcome : {"HOME", "DRAW", "AWAY"}) {
        if (text.startsWith(QLatin1String(outcome)))
            return QString::fromLatin1(outcome);
    }
    return {};
}

// Whole percentages summing to exactly 100 in the proportions of `values`:
// each gets its floor, and the points left over go to the largest remainders
// (the stated outcome first among equals, so scaling never takes its lead).
std::array<int, 3> toHundred(const std::array<double, 3> &values, int favoured)
{
    const double sum = values[0] + values[1] + values[2];
    std::array<int, 3> result{0, 0, 0};
    if (sum <= 0)
        return result;
    std::array<double, 3> remainders{};
    int given = 0;
    for (int i = 0; i < 3; ++i) {
        const double scaled = values[size_t(i)] * 100.0 / sum;
        result[size_t(i)] = int(std::floor(scaled));
        remainders[size_t(i)] = scaled - result[size_t(i)];
        given += result[size_t(i)];
    }
    std::array<int, 3> order{0, 1, 2};
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        if (std::abs(remainders[size_t(a)] - remainders[size_t(b)]) > 1e-9)
            return remainders[size_t(a)] > remainders[size_t(b)];
        return a == favoured && b != favoured;
    });
    for (int k = 0; given < 100; ++k, ++given)
        ++result[size_t(order[size_t(k % 3)])];
    return result;
}

QJsonObject typed(const char *type)
{
    return QJsonObject{{QStringLiteral("type"), QLatin1String(type)}};
}

QJsonObject objectSchema(const QJsonObject &properties)
{
    return QJsonObject{{QStringLiteral("type"), QStringLiteral("object")},
                       {QStringLiteral("properties"), properties},
                       {QStringLiteral("required"), QJsonArray::fromStringList(properties.keys())}};
}

} // namespace

std::optional<QJsonObject> objectInModelText(const QString &text)
{
    QString rest = text.trimmed();
    // Reasoning models think aloud first; their thoughts may hold braces.
    if (rest.startsWith(QLatin1String("<think>"), Qt::CaseInsensitive)) {
        const qsizetype close = rest.indexOf(QLatin1String("</think>"), 0, Qt::CaseInsensitive);
        rest = close < 0 ? QString() : rest.mid(close + 8).trimmed();
    }
    if (rest.isEmpty())
        return text.trimmed().isEmpty() ? std::optional<QJsonObject>(QJsonObject()) : std::nullopt;
    // Fences and sentences around the object are skipped by looking for the
    // first brace that opens a whole, valid object.
    for (qsizetype open = rest.indexOf(QLatin1Char('{')); open >= 0;
         open = rest.indexOf(QLatin1Char('{'), open + 1)) {
        const qsizetype close = objectEnd(rest, open);
        if (close < 0)
            break;
        const QJsonDocument doc = QJsonDocument::fromJson(rest.mid(open, close - open + 1).toUtf8());
        if (doc.isObject())
            return doc.object();
    }
    return std::nullopt;
}

QJsonObject responseFormat(ReplyFormat format, const QJsonObject &schema)
{
    if (format == ReplyFormat::JsonSchema) {
        return QJsonObject{
            {QStringLiteral("type"), QStringLiteral("json_schema")},
            {QStringLiteral("json_schema"),
             QJsonObject{{QStringLiteral("name"), QStringLiteral("reply")},
                         {QStringLiteral("schema"), schema.isEmpty() ? typed("object") : schema}}}};
    }
    return typed("json_object");
}

bool refusesResponseFormat(int status, const QByteArray &body)
{
    return status == 400 && (body.contains("response_format") || body.contains("json_schema"));
}

ReplyFormat rememberedReplyFormat(const QString &endpoint)
{
    const QMutexLocker lock(&s_formatsLock);
    return s_formats.value(endpoint, ReplyFormat::JsonObject);
}

void rememberReplyFormat(const QString &endpoint, ReplyFormat format)
{
    const QMutexLocker lock(&s_formatsLock);
    s_formats.insert(endpoint, format);
}

QJsonObject quickReplySchema()
{
    QJsonObject outcome = typed("string");
    outcome.insert(QStringLiteral("enum"),
                   QJsonArray{QStringLiteral("HOME"), QStringLiteral("DRAW"), QStringLiteral("AWAY")});
    return objectSchema({{QStringLiteral("outcome"), outcome},
                         {QStringLiteral("home_win_pct"), typed("integer")},
                         {QStringLiteral("draw_pct"), typed("integer")},
                         {QStringLiteral("away_win_pct"), typed("integer")},
                         {QStringLiteral("scoreline"), typed("string")},
                         {QStringLiteral("confidence"), typed("integer")}});
}

QJsonObject reasoningReplySchema()
{
    QJsonObject factors = typed("array");
    factors.insert(QStringLiteral("items"), typed("string"));
    return objectSchema(
        {{QStringLiteral("summary"), typed("string")}, {QStringLiteral("key_factors"), factors}});
}

QuickCall readQuickCall(const QJsonObject &reply)
{
    QuickCall call;
    const std::array<std::optional<double>, 3> given{numberIn(reply.value(QLatin1String("home_win_pct"))),
                                                     numberIn(reply.value(QLatin1String("draw_pct"))),
                                                     numberIn(reply.value(QLatin1String("away_win_pct")))};
    std::array<double, 3> chances{given[0].value_or(0), given[1].value_or(0), given[2].value_or(0)};
    const double sum = chances[0] + chances[1] + chances[2];
    // 0.55/0.25/0.20 are fractions of one, not a fifth of a percent each.
    const bool fractions = sum > 0.9 && sum < 1.1 && std::max({chances[0], chances[1], chances[2]}) <= 1.0;

    const QString stated = outcomeIn(reply.value(QLatin1String("outcome")));
    const int largest = int(std::max_element(chances.begin(), chances.end()) - chances.begin());
    const QStringList outcomes = {QStringLiteral("HOME"), QStringLiteral("DRAW"), QStringLiteral("AWAY")};
    if (!stated.isEmpty())
        call.outcome = stated;
    else if (sum > 0)
        call.outcome = outcomes.at(largest);

    const auto percents = toHundred(chances, int(outcomes.indexOf(call.outcome)));
    call.homeWinPct = percents[0];
    call.drawPct = percents[1];
    call.awayWinPct = percents[2];

    if (const auto confidence = numberIn(reply.value(QLatin1String("confidence")))) {
        const double value = fractions && *confidence <= 1.0 ? *confidence * 100 : *confidence;
        call.confidence = int(std::lround(std::min(100.0, value)));
    }

    // Only the goals are kept: whatever else the model wrote there is not
    // shown anywhere.
    static const QRegularExpression score(
        QStringLiteral("^\\s*(\\d{1,2})\\s*[-:\u2013\u2014]\\s*(\\d{1,2})"));
    const QRegularExpressionMatch match = score.match(reply.value(QLatin1String("scoreline")).toString());
    if (match.hasMatch())
        call.scoreline = match.captured(1) + QLatin1Char('-') + match.captured(2);
    return call;
}
