#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QPair>
#include <QString>

#include <vector>

// Readers of ESPN's JSON shared by the ESPN client's files.
namespace espn {

// An id that ESPN sends as a string or, now and then, as a number.
QString idText(const QJsonValue &value);

// The event's id as the fixture lists know it: the decimal form of a numeric
// id, else the text as sent.
QString eventId(const QJsonObject &event);

// Splits an event "date" (ISO 8601 in the time zone of the text, such as
// 2025-08-16T14:00Z) into "yyyy-MM-dd" and "HH:mm". A text without a readable
// time gives its first 10 characters and an empty time.
QPair<QString, QString> dateAndTime(const QString &text);

// The name of an ESPN "league" object as the program shows it: the tracked
// league's own name when the slug is one of ours (ESPN says "English Premier
// League" where the fixture lists say "Premier League", and one league must
// not be counted under two names), else the name ESPN gives.
QString leagueName(const QJsonObject &league);

// The objects of an array; anything else in it is left out.
std::vector<QJsonObject> objectsOf(const QJsonValue &array);

} // namespace espn
