#include "DevStub.h"

#include "Crests.h"

#include <QJsonDocument>
#include <QMutexLocker>
#include <QRegularExpression>

namespace {

const QString SITE = QStringLiteral("/apis/site/v2/sports/soccer/");
const QString CORE = QStringLiteral("/apis/v2/sports/soccer/");
const QString SEARCH = QStringLiteral("/apis/common/v3/search");
const QString CHAT = QStringLiteral("/v1/chat/completions");
const QString CRESTS = QStringLiteral("/crests/");

StubResponse jsonResponse(const JsonReply &reply)
{
    return StubResponse::json(QJsonDocument(reply.body).toJson(QJsonDocument::Compact), reply.status);
}

StubResponse notFound(const QString &path)
{
    return jsonResponse(JsonReply::error(404, QStringLiteral("Nothing is served at %1").arg(path)));
}

StubResponse methodNotAllowed(const char *allowed)
{
    StubResponse response =
        jsonResponse(JsonReply::error(405, QStringLiteral("Use %1").arg(QLatin1String(allowed))));
    response.headers.append(qMakePair(QByteArray("Allow"), QByteArray(allowed)));
    return response;
}

QByteArray indexPage(const QString &base, const Recording &recording)
{
    QString text =
        QStringLiteral("tolvo-devstub: recorded ESPN replies and a canned model, served offline.\n\n"
                       "Start the program or tolvo-cli with\n"
                       "  TOLVO_ESPN_HOST=%1\n"
                       "  TOLVO_ESPN_SEARCH_HOST=%1\n"
                       "  TOLVO_OPENAI_BASE=%1\n"
                       "  OPENAI_API_KEY=sk-devstub (any text will do)\n\n"
                       "Leagues:")
            .arg(base);
    for (const RecordedLeague &league : recording.leagues)
        text += QStringLiteral(" %1").arg(league.slug);
    text += QStringLiteral("\n\nEndpoints:\n"
                           "  GET  /apis/site/v2/sports/soccer/LEAGUE/scoreboard?dates=yyyyMMdd|yyyyMM\n"
                           "  GET  /apis/site/v2/sports/soccer/all/summary?event=ID\n"
                           "  GET  /apis/site/v2/sports/soccer/LEAGUE/teams/ID/schedule?season=YYYY\n"
                           "  GET  /apis/v2/sports/soccer/LEAGUE/standings?season=YYYY\n"
                           "  GET  /apis/common/v3/search?query=TEXT\n"
                           "  GET  /crests/ID.png\n"
                           "  POST /v1/chat/completions\n");
    return text.toUtf8();
}

} // namespace

DevStub::DevStub(Recording recording, const QDateTime &start, const Options &options)
    : m_recording(std::move(recording))
    , m_replay(m_recording, start, options.speed, options.seed)
    , m_espn(m_replay)
    , m_model(m_replay, options.seed)
    , m_options(options)
{}

StubResponse DevStub::respond(const StubRequest &request)
{
    return respond(request, QDateTime::currentDateTime());
}

StubResponse DevStub::respond(const StubRequest &request, const QDateTime &now)
{
    StubResponse response = route(request, now);
    response.delayMs = m_options.latencyMs;
    if (m_logger) {
        QString target = request.path;
        if (!request.rawQuery.isEmpty())
            target += QLatin1Char('?') + request.rawQuery;
        m_logger(QStringLiteral("%1 %2 %3 -> %4 (%5 bytes)")
                     .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")),
                          QString::fromLatin1(request.method), target)
                     .arg(response.status)
                     .arg(response.body.size()));
    }
    return response;
}

QString DevStub::baseFor(const StubRequest &request) const
{
    // Crest addresses follow the address the client used, so they work
    // whatever port was picked; anything odd in Host is not echoed back.
    static const QRegularExpression host(
        QStringLiteral("^[A-Za-z0-9.\\-]+(:\\d{1,5})?$|^\\[[0-9A-Fa-f:.]+\\](:\\d{1,5})?$"));
    const QString given = QString::fromLatin1(request.header("host"));
    return host.match(given).hasMatch() ? QStringLiteral("http://") + given : m_baseUrl;
}

StubResponse DevStub::route(const StubRequest &request, const QDateTime &now)
{
    const QString path = request.path;
    const bool get = request.method == "GET";

    if (path == CHAT) {
        if (request.method != "POST")
            return methodNotAllowed("POST");
        return jsonResponse(m_model.chatCompletion(request.body, now));
    }
    if (!get)
        return methodNotAllowed("GET");

    const QString base = baseFor(request);
    if (path.startsWith(SITE)) {
        const QStringList parts = path.mid(SITE.size()).split(QLatin1Char('/'));
        if (parts.size() == 2 && parts.at(1) == QLatin1String("scoreboard"))
            return jsonResponse(m_espn.scoreboard(parts.at(0), request.query, now, base));
        if (parts.size() == 2 && parts.at(1) == QLatin1String("summary")) {
            const QString event = request.query.queryItemValue(QStringLiteral("event"));
            if (event.isEmpty())
                return jsonResponse(JsonReply::error(400, QStringLiteral("The event parameter is required")));
            return jsonResponse(m_espn.summary(event, now, base));
        }
        if (parts.size() == 4 && parts.at(1) == QLatin1String("teams") &&
            parts.at(3) == QLatin1String("schedule"))
            return jsonResponse(m_espn.schedule(parts.at(0), parts.at(2), request.query, now, base));
        return notFound(path);
    }
    if (path.startsWith(CORE)) {
        const QStringList parts = path.mid(CORE.size()).split(QLatin1Char('/'));
        if (parts.size() == 2 && parts.at(1) == QLatin1String("standings"))
            return jsonResponse(m_espn.standings(parts.at(0), request.query, now, base));
        return notFound(path);
    }
    if (path == SEARCH)
        return jsonResponse(m_espn.search(request.query, now, base));
    if (path.startsWith(CRESTS))
        return crest(path.mid(CRESTS.size()));
    if (path == QLatin1String("/")) {
        StubResponse response = StubResponse::json(indexPage(base, m_recording));
        response.contentType = "text/plain; charset=utf-8";
        return response;
    }
    return notFound(path);
}

StubResponse DevStub::crest(const QString &name)
{
    static const QRegularExpression file(QStringLiteral("^([A-Za-z0-9]+)(-dark)?\\.png$"));
    const QRegularExpressionMatch match = file.match(name);
    const RecordedTeam *team = match.hasMatch() ? m_recording.team(match.captured(1)) : nullptr;
    if (!team)
        return notFound(CRESTS + name);

    QByteArray png;
    {
        QMutexLocker lock(&m_crestMutex);
        png = m_crests.value(team->id);
    }
    if (png.isEmpty()) {
        png = renderCrestPng(*team, m_options.crestSize);
        QMutexLocker lock(&m_crestMutex);
        m_crests.insert(team->id, png);
    }
    StubResponse response;
    response.body = png;
    response.contentType = "image/png";
    response.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("max-age=86400")));
    return response;
}
