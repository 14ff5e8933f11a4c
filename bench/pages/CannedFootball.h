#pragma once

#include <QByteArray>
#include <QColor>
#include <QDate>
#include <QJsonObject>
#include <QList>
#include <QString>

class StubServer;

// A plausible football day served by a stub server: today's fixtures (some
// in play, some finished), weeks of upcoming fixtures in two leagues, team
// search, club crests and a model that answers predictions and reasoning.
class CannedFootball
{
public:
    struct Club
    {
        QString id;
        QString name;
        QColor color;
        QString ground;
        QString league;
    };

    // delayMs: how long every scoreboard reply waits. crestSize: the side of
    // the crest images in pixels (ESPN's are 500).
    CannedFootball(StubServer &server, int delayMs = 0, int crestSize = 128);

    // Sixty-odd upcoming fixtures for one league among twenty clubs.
    void addManyFixtures(const QString &slug);

    static QByteArray crestPng(const Club &club, int size);

private:
    QJsonObject team(const Club &club) const;
    QJsonObject event(const QString &id, const Club &home, const Club &away, const QDateTime &kickOff,
                      const QString &state, int homeGoals, int awayGoals, const QString &detail) const;
    void routeLeague(const QString &slug, const QList<QJsonObject> &events);

    StubServer &m_server;
    int m_delayMs;
    int m_crestSize;
    QList<Club> m_clubs;
};
