#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <vector>

// Small ESPN-shaped events for the tests, with only the keys the client reads.
namespace fixtures {

inline QJsonObject team(const QString &id, const QString &name)
{
    return {{QStringLiteral("id"), id},
            {QStringLiteral("displayName"), name},
            {QStringLiteral("logo"), QStringLiteral("https://crests.test/%1.png").arg(id)}};
}

inline QJsonObject competitor(const QString &side, const QJsonObject &team, const QJsonValue &score)
{
    QJsonObject c{{QStringLiteral("homeAway"), side}, {QStringLiteral("team"), team}};
    if (!score.isUndefined())
        c.insert(QStringLiteral("score"), score);
    return c;
}

inline QJsonObject status(const QString &state, bool completed, const QString &detail)
{
    return {{QStringLiteral("type"), QJsonObject{{QStringLiteral("state"), state},
                                                 {QStringLiteral("completed"), completed},
                                                 {QStringLiteral("shortDetail"), detail}}}};
}

inline QJsonObject event(const QString &id, const QString &date, const QJsonArray &competitors,
                         const QJsonObject &status)
{
    QJsonObject comp{{QStringLiteral("competitors"), competitors}, {QStringLiteral("status"), status}};
    return {{QStringLiteral("id"), id},
            {QStringLiteral("date"), date},
            {QStringLiteral("competitions"), QJsonArray{comp}}};
}

// A finished match between two teams given as (id, name).
inline QJsonObject finished(const QString &id, const QString &date, const QJsonObject &home,
                            const QJsonObject &away, int homeGoals, int awayGoals)
{
    return event(id, date,
                 {competitor(QStringLiteral("home"), home, QString::number(homeGoals)),
                  competitor(QStringLiteral("away"), away, QString::number(awayGoals))},
                 status(QStringLiteral("post"), true, QStringLiteral("FT")));
}

// A fixture still to play; ESPN sends "0" scores for those.
inline QJsonObject scheduled(const QString &id, const QString &date, const QJsonObject &home,
                             const QJsonObject &away)
{
    return event(id, date,
                 {competitor(QStringLiteral("home"), home, QStringLiteral("0")),
                  competitor(QStringLiteral("away"), away, QStringLiteral("0"))},
                 status(QStringLiteral("pre"), false, QStringLiteral("Scheduled")));
}

inline QByteArray eventsReply(const std::vector<QJsonObject> &events)
{
    QJsonArray array;
    for (const QJsonObject &e : events)
        array.append(e);
    return QJsonDocument(QJsonObject{{QStringLiteral("events"), array}}).toJson(QJsonDocument::Compact);
}

} // namespace fixtures
