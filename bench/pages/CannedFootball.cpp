#include "CannedFootball.h"

#include "stubserver/StubServer.h"

#include <QBuffer>
#include <QDateTime>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPainter>
#include <QPainterPath>

namespace {

const QString SITE = QStringLiteral("/apis/site/v2/sports/soccer/");

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray modelReply(const QJsonObject &content)
{
    const QJsonObject message{{"role", "assistant"},
                              {"content", QString::fromUtf8(QJsonDocument(content).toJson())}};
    return compact({{"choices", QJsonArray{QJsonObject{{"message", message}}}},
                    {"usage", QJsonObject{{"prompt_tokens", 1800}, {"completion_tokens", 160}}}});
}

} // namespace

CannedFootball::CannedFootball(StubServer &server, int delayMs, int crestSize)
    : m_server(server)
    , m_delayMs(delayMs)
    , m_crestSize(crestSize)
{
    m_clubs = {
        {"359", "Arsenal", QColor("#DB0007"), "Emirates Stadium", "eng.1"},
        {"363", "Chelsea", QColor("#034694"), "Stamford Bridge", "eng.1"},
        {"364", "Liverpool", QColor("#C8102E"), "Anfield", "eng.1"},
        {"382", "Manchester City", QColor("#6CABDD"), "Etihad Stadium", "eng.1"},
        {"360", "Manchester United", QColor("#DA291C"), "Old Trafford", "eng.1"},
        {"367", "Tottenham Hotspur", QColor("#132257"), "Tottenham Hotspur Stadium", "eng.1"},
        {"361", "Newcastle United", QColor("#241F20"), "St James' Park", "eng.1"},
        {"362", "Aston Villa", QColor("#670E36"), "Villa Park", "eng.1"},
        {"371", "West Ham United", QColor("#7A263A"), "London Stadium", "eng.1"},
        {"331", "Brighton & Hove Albion", QColor("#0057B8"), "Amex Stadium", "eng.1"},
        {"132", "Bayern Munich", QColor("#DC052D"), "Allianz Arena", "ger.1"},
        {"124", "Borussia Dortmund", QColor("#FDE100"), "Signal Iduna Park", "ger.1"},
        {"11420", "RB Leipzig", QColor("#DD0741"), "Red Bull Arena", "ger.1"},
        {"131", "Bayer Leverkusen", QColor("#E32221"), "BayArena", "ger.1"},
        {"368", "Everton", QColor("#003399"), "Goodison Park", "eng.1"},
        {"384", "Crystal Palace", QColor("#1B458F"), "Selhurst Park", "eng.1"},
        {"380", "Wolverhampton Wanderers", QColor("#FDB913"), "Molineux", "eng.1"},
        {"337", "Brentford", QColor("#E30613"), "Gtech Community Stadium", "eng.1"},
        {"370", "Fulham", QColor("#000000"), "Craven Cottage", "eng.1"},
        {"393", "Nottingham Forest", QColor("#DD0000"), "City Ground", "eng.1"},
    };

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDate today = now.date();
    auto at = [](const QDate &day, int hour, int minute) {
        return QDateTime(day, QTime(hour, minute), Qt::UTC);
    };
    QList<QJsonObject> england = {
        event("9001", m_clubs[0], m_clubs[1], at(today, 11, 30), "in", 2, 1, "67'"),
        event("9002", m_clubs[2], m_clubs[3], at(today, 12, 0), "in", 0, 0, "HT"),
        event("9003", m_clubs[4], m_clubs[5], at(today, 9, 0), "post", 1, 3, "FT"),
        event("9004", m_clubs[6], m_clubs[7], at(today, 17, 30), "pre", 0, 0, "Scheduled"),
        event("9005", m_clubs[8], m_clubs[9], at(today, 20, 0), "pre", 0, 0, "Scheduled"),
    };
    for (int i = 0; i < 10; ++i) {
        const Club &home = m_clubs[(i * 3) % 10];
        const Club &away = m_clubs[(i * 3 + 5) % 10];
        england.append(event(QStringLiteral("91%1").arg(i, 2, 10, QLatin1Char('0')), home, away,
                             at(today.addDays(2 + i), 15, 0), "pre", 0, 0, "Scheduled"));
    }
    routeLeague(QStringLiteral("eng.1"), england);
    routeLeague(
        QStringLiteral("ger.1"),
        {event("9201", m_clubs[10], m_clubs[11], at(today, 18, 30), "pre", 0, 0, "Scheduled"),
         event("9202", m_clubs[12], m_clubs[13], at(today.addDays(3), 14, 30), "pre", 0, 0, "Scheduled")});
    // The other tracked leagues have nothing on.
    server.setFallback([this](const StubRequest &r) {
        StubResponse response = StubResponse::json(R"({"events": []})");
        if (r.path.endsWith(QLatin1String("/scoreboard")))
            response.delayMs = m_delayMs;
        return response;
    });

    for (const Club &club : m_clubs) {
        StubResponse crest;
        crest.body = crestPng(club, m_crestSize);
        crest.contentType = "image/png";
        server.route(QStringLiteral("/crests/%1.png").arg(club.id), crest);
    }

    server.route(QStringLiteral("/apis/common/v3/search"), [this](const StubRequest &r) {
        const QString q = r.query.queryItemValue(QStringLiteral("query"), QUrl::FullyDecoded).toLower();
        QJsonArray items;
        for (const Club &club : m_clubs) {
            if (club.name.toLower() == q || club.id == q) {
                QJsonObject item = team(club);
                item.insert("type", "team");
                item.insert("defaultLeagueSlug", club.league);
                items.append(item);
            }
        }
        return StubResponse::json(compact({{"items", items}}));
    });

    server.route(QStringLiteral("/v1/chat/completions"), [](const StubRequest &r) {
        StubResponse response;
        if (r.body.contains("key_factors")) {
            response = StubResponse::json(modelReply(
                {{"summary", "Arsenal have won four of their last five at home and Chelsea have conceded in "
                             "every away game this season, so the hosts are favoured, though Chelsea's "
                             "counter-attack keeps it close."},
                 {"key_factors",
                  QJsonArray{"Arsenal's home form: W W W D W", "Chelsea concede away from home",
                             "Recent meetings were tight"}}}));
        } else {
            response = StubResponse::json(modelReply({{"outcome", "HOME"},
                                                      {"home_win_pct", 52},
                                                      {"draw_pct", 26},
                                                      {"away_win_pct", 22},
                                                      {"scoreline", "2-1"},
                                                      {"confidence", 64}}));
        }
        response.delayMs = 150;
        return response;
    });
}

void CannedFootball::addManyFixtures(const QString &slug)
{
    const QDate today = QDate::currentDate();
    QList<QJsonObject> events;
    for (int i = 0; i < 64; ++i) {
        const Club &home = m_clubs[i % 20];
        const Club &away = m_clubs[(i * 7 + 3) % 20 == i % 20 ? (i + 1) % 20 : (i * 7 + 3) % 20];
        events.append(event(QStringLiteral("8%1").arg(i, 3, 10, QLatin1Char('0')), home, away,
                            QDateTime(today.addDays(1 + i / 4), QTime(12 + i % 4 * 2, 0), Qt::UTC), "pre", 0,
                            0, "Scheduled"));
    }
    routeLeague(slug, events);
}

QJsonObject CannedFootball::team(const Club &club) const
{
    return {{"id", club.id},
            {"displayName", club.name},
            {"logo", QString(m_server.baseUrl() + QStringLiteral("/crests/%1.png").arg(club.id))}};
}

QJsonObject CannedFootball::event(const QString &id, const Club &home, const Club &away,
                                  const QDateTime &kickOff, const QString &state, int homeGoals,
                                  int awayGoals, const QString &detail) const
{
    auto competitor = [this](const QString &side, const Club &club, int goals) {
        return QJsonObject{{"homeAway", side}, {"team", team(club)}, {"score", QString::number(goals)}};
    };
    const QJsonObject status{
        {"type", QJsonObject{{"state", state}, {"completed", state == "post"}, {"shortDetail", detail}}}};
    QJsonObject comp{
        {"competitors", QJsonArray{competitor("home", home, homeGoals), competitor("away", away, awayGoals)}},
        {"status", status},
        {"venue", QJsonObject{{"fullName", home.ground}}}};
    // Fixtures still to play carry a bookmaker's prices, as ESPN's do.
    if (state == QLatin1String("pre")) {
        auto price = [](const char *text) { return QJsonObject{{"close", QJsonObject{{"odds", text}}}}; };
        comp.insert("odds",
                    QJsonArray{QJsonObject{{"provider", QJsonObject{{"id", "100"}, {"name", "DraftKings"}}},
                                           {"moneyline", QJsonObject{{"home", price("-160")},
                                                                     {"draw", price("+330")},
                                                                     {"away", price("+425")}}}}});
    }
    return {{"id", id},
            {"date", QString(kickOff.toString(QStringLiteral("yyyy-MM-ddTHH:mm")) + QLatin1Char('Z'))},
            {"competitions", QJsonArray{comp}}};
}

void CannedFootball::routeLeague(const QString &slug, const QList<QJsonObject> &events)
{
    QJsonArray array;
    for (const QJsonObject &e : events)
        array.append(e);
    StubResponse response = StubResponse::json(compact({{"events", array}}));
    response.delayMs = m_delayMs;
    m_server.route(SITE + slug + QStringLiteral("/scoreboard"), response);
}

QByteArray CannedFootball::crestPng(const Club &club, int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shield;
    const qreal s = size;
    shield.moveTo(s * 0.12, s * 0.1);
    shield.lineTo(s * 0.88, s * 0.1);
    shield.lineTo(s * 0.88, s * 0.5);
    shield.quadTo(s * 0.88, s * 0.82, s * 0.5, s * 0.95);
    shield.quadTo(s * 0.12, s * 0.82, s * 0.12, s * 0.5);
    shield.closeSubpath();
    painter.fillPath(shield, club.color);
    painter.setPen(QPen(club.color.lightness() > 160 ? Qt::black : Qt::white, s * 0.03));
    painter.drawPath(shield);
    QFont font;
    font.setPixelSize(int(s * 0.24));
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRectF(0, s * 0.12, s, s * 0.6), Qt::AlignCenter, club.name.left(3).toUpper());
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
