#pragma once

#include "stubserver/StubServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

// Model servers as they really answer a quick prediction call, for the
// Predictor and command-line suites alike. Each row gives the server's
// manner, what its model writes, and the call the program must read from it.
namespace ModelServers {

// "openai" takes any response_format; "lmstudio" refuses json_object with
// LM Studio's own words; "plain" refuses every response_format.
inline StubHandler server(const QString &kind, const QString &content, bool usage)
{
    return [=](const StubRequest &request) {
        const QString format = QJsonDocument::fromJson(request.body)
                                   .object()
                                   .value("response_format")
                                   .toObject()
                                   .value("type")
                                   .toString();
        if (kind == "lmstudio" && format == "json_object")
            return StubResponse::error(
                400, R"({"error":"'response_format.type' must be 'json_schema' or 'text'"})");
        if (kind == "plain" && !format.isEmpty())
            return StubResponse::error(400, R"({"error":{"message":"response_format is not supported"}})");
        QJsonObject reply{
            {"choices",
             QJsonArray{QJsonObject{{"message", QJsonObject{{"role", "assistant"}, {"content", content}}}}}}};
        if (usage)
            reply.insert("usage", QJsonObject{{"prompt_tokens", 1000}, {"completion_tokens", 500}});
        return StubResponse::json(QJsonDocument(reply).toJson(QJsonDocument::Compact));
    };
}

// The response_format types a call sent, one per request ("" for none).
inline QStringList formatsSent(const QList<StubRequest> &requests)
{
    QStringList formats;
    for (const StubRequest &r : requests)
        formats.append(QJsonDocument::fromJson(r.body)
                           .object()
                           .value("response_format")
                           .toObject()
                           .value("type")
                           .toString());
    return formats;
}

inline void addRows()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("content");
    QTest::addColumn<bool>("usage");
    QTest::addColumn<QStringList>("formats");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QList<int>>("chances");
    QTest::addColumn<QString>("scoreline");
    QTest::addColumn<int>("confidence");

    const QString strict = R"({"outcome":"HOME","home_win_pct":55,"draw_pct":25,"away_win_pct":20,)"
                           R"("scoreline":"2-1","confidence":70})";
    const QList<int> call{55, 25, 20};
    const QStringList once{"json_object"};
    QTest::newRow("LM Studio: json_schema after json_object")
        << "lmstudio" << strict << true << QStringList{"json_object", "json_schema"} << "HOME" << call
        << "2-1" << 70;
    QTest::newRow("no response_format at all")
        << "plain" << strict << true << QStringList{"json_object", "json_schema", ""} << "HOME" << call
        << "2-1" << 70;
    QTest::newRow("fenced") << "openai"
                            << "```json\n" + strict + "\n```" << true << once << "HOME" << call << "2-1"
                            << 70;
    QTest::newRow("think block") << "openai"
                                 << "<think>Arsenal at home {strong}, Chelsea away {weak}.</think>\n\n" +
                                        strict
                                 << true << once << "HOME" << call << "2-1" << 70;
    QTest::newRow("sentence around") << "openai"
                                     << "Here is my call: " + strict + " Enjoy the match!" << true << once
                                     << "HOME" << call << "2-1" << 70;
    QTest::newRow("strings and %")
        << "openai"
        << R"({"outcome":"home","home_win_pct":"55%","draw_pct":"25","away_win_pct":"20 %","scoreline":"2 - 1","confidence":"70"})"
        << true << once << "HOME" << call << "2-1" << 70;
    QTest::newRow("fractions")
        << "openai"
        << R"({"outcome":"Draw","home_win_pct":0.3,"draw_pct":0.45,"away_win_pct":0.25,"scoreline":"1:1","confidence":0.6})"
        << true << once << "DRAW" << QList<int>{30, 45, 25} << "1-1" << 60;
    QTest::newRow("sum of 95")
        << "openai"
        << R"({"outcome":"HOME","home_win_pct":50,"draw_pct":30,"away_win_pct":15,"scoreline":"1-0","confidence":55})"
        << true << once << "HOME" << QList<int>{53, 31, 16} << "1-0" << 55;
    QTest::newRow("sum of 110, stated outcome kept")
        << "openai"
        << R"({"outcome":"away","home_win_pct":45,"draw_pct":40,"away_win_pct":25,"scoreline":"0-1","confidence":40})"
        << true << once << "AWAY" << QList<int>{41, 36, 23} << "0-1" << 40;
    QTest::newRow("halves, tie to the stated outcome")
        << "openai"
        << R"({"outcome":"DRAW","home_win_pct":37.5,"draw_pct":37.5,"away_win_pct":25,"scoreline":"<b>1-1</b>","confidence":51.6})"
        << true << once << "DRAW" << QList<int>{37, 38, 25} << "?-?" << 52;
    QTest::newRow("no usage") << "openai" << strict << false << once << "HOME" << call << "2-1" << 70;
}

} // namespace ModelServers
