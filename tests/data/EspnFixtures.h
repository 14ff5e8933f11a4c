#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <vector>

// Small ESPN-shaped events for the tests, with only the keys the client reads.
namespace fixtures {

using namespace Qt::StringLiterals;

inline QJsonObject team(const QString &id, const QString &name)
{
    return {{u"id"_s, id}, {u"displayName"_s, name}, {u"logo"_s, u"https://crests.test/%1.png"_s.arg(id)}};
}

inline QJsonObject competitor(const QString &side, const QJsonObject &team, const QJsonValue &score)
{
    QJsonObject c{{u"homeAway"_s, side}, {u"team"_s, team}};
    if (!score.isUndefined())
        c.insert(u"score"_s, score);
    return c;
}

inline QJsonObject status(const QString &state, bool completed, const QString &detail)
{
    return {{u"type"_s,
             QJsonObject{{u"state"_s, state}, {u"completed"_s, completed}, {u"shortDetail"_s, detail}}}};
}

inline QJsonObject event(const QString &id, const QString &date, const QJsonArray &competitors,
                         const QJsonObject &status)
{
    QJsonObject comp{{u"competitors"_s, competitors}, {u"status"_s, status}};
    return {{u"id"_s, id}, {u"date"_s, date}, {u"competitions"_s, QJsonArray{comp}}};
}

// A finished match between two teams given as (id, name).
inline QJsonObject finished(const QString &id, const QString &date, const QJsonObject &home,
                            const QJsonObject &away, int homeGoals, int awayGoals)
{
    return event(id, date,
                 {competitor(u"home"_s, home, QString::number(homeGoals)),
                  competitor(u"away"_s, away, QString::number(awayGoals))},
                 status(u"post"_s, true, u"FT"_s));
}

// A fixture still to play; ESPN sends "0" scores for those.
inline QJsonObject scheduled(const QString &id, const QString &date, const QJsonObject &home,
                             const QJsonObject &away)
{
    return event(id, date, {competitor(u"home"_s, home, u"0"_s), competitor(u"away"_s, away, u"0"_s)},
                 status(u"pre"_s, false, u"Scheduled"_s));
}

inline QByteArray eventsReply(const std::vector<QJsonObject> &events)
{
    QJsonArray array;
    for (const QJsonObject &e : events)
        array.append(e);
    return QJsonDocument(QJsonObject{{u"events"_s, array}}).toJson(QJsonDocument::Compact);
}

} // namespace fixtures
