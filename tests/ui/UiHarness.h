#pragma once

// A whole program for widget tests: a context and a (hidden) main window on
// top of one stub server that plays ESPN, the crest host and the model
// service, in a temporary home folder.

#include "ai/Prompts.h"
#include "app/Paths.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"
#include "ui/app/AppContext.h"
#include "ui/common/SoundManager.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/Toast.h"
#include "ui/shell/ToastManager.h"

#include <QBuffer>
#include <QDate>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

#include <memory>
#include <vector>

namespace ui_test {

// How long a test waits for something to happen: generous, because the
// machines that run the suites may be busy with other work.
constexpr int WAIT_MS = 15000;

inline const QString SITE = QStringLiteral("/apis/site/v2/sports/soccer/");
inline const QString SEARCH = QStringLiteral("/apis/common/v3/search");
inline const QString MODEL = QStringLiteral("/v1/chat/completions");

inline QByteArray pngBytes(const QColor &color, int size = 64)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

inline StubResponse body(const QByteArray &bytes, const QByteArray &contentType, int delayMs = 0)
{
    StubResponse response;
    response.body = bytes;
    response.contentType = contentType;
    response.delayMs = delayMs;
    return response;
}

inline QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

inline QByteArray eventsReply(const QList<QJsonObject> &events)
{
    QJsonArray array;
    for (const QJsonObject &e : events)
        array.append(e);
    return json({{QStringLiteral("events"), array}});
}

inline QString isoAt(const QDate &day, const QString &time)
{
    return day.toString(Qt::ISODate) + QLatin1Char('T') + time + QLatin1Char('Z');
}

// One ESPN scoreboard event. Scores count only for "in" and completed.
struct EventSpec
{
    QString id;
    QString home;
    QString homeId;
    QString away;
    QString awayId;
    QString date; // ISO "yyyy-MM-ddTHH:mmZ"
    QString state = QStringLiteral("pre");
    QString homeScore = QStringLiteral("0");
    QString awayScore = QStringLiteral("0");
    QString detail;
    QString venue;
};

// A chat-completions reply whose message content is `content`.
inline QByteArray modelReply(const QJsonObject &content, int promptTokens = 1000, int completionTokens = 200)
{
    const QJsonObject message{{QStringLiteral("role"), QStringLiteral("assistant")},
                              {QStringLiteral("content"), QString::fromUtf8(json(content))}};
    return json(
        {{QStringLiteral("choices"), QJsonArray{QJsonObject{{QStringLiteral("message"), message}}}},
         {QStringLiteral("usage"), QJsonObject{{QStringLiteral("prompt_tokens"), promptTokens},
                                               {QStringLiteral("completion_tokens"), completionTokens}}}});
}

inline QJsonObject quickAnswer(const QString &outcome = QStringLiteral("HOME"),
                               const QString &scoreline = QStringLiteral("2-1"))
{
    return {{QStringLiteral("outcome"), outcome},     {QStringLiteral("home_win_pct"), 55},
            {QStringLiteral("draw_pct"), 25},         {QStringLiteral("away_win_pct"), 20},
            {QStringLiteral("scoreline"), scoreline}, {QStringLiteral("confidence"), 62}};
}

inline QJsonObject reasoningAnswer(const QString &summary, const QStringList &factors)
{
    return {{QStringLiteral("summary"), summary},
            {QStringLiteral("key_factors"), QJsonArray::fromStringList(factors)}};
}

// Whether a model request is the quick call (the reasoning call has its own
// system text).
inline bool isQuickCall(const StubRequest &request)
{
    const QJsonObject body = QJsonDocument::fromJson(request.body).object();
    const QString system = body.value(QStringLiteral("messages"))
                               .toArray()
                               .at(0)
                               .toObject()
                               .value(QStringLiteral("content"))
                               .toString();
    return system == QUICK_SYSTEM_PROMPT_BASE;
}

class Harness
{
public:
    explicit Harness(const QByteArray &settingsJson = R"({"openai_api_key": "sk-test"})")
    {
        qputenv("TOLVO_ESPN_HOST", server.baseUrl().toUtf8());
        qputenv("TOLVO_ESPN_SEARCH_HOST", server.baseUrl().toUtf8());
        qputenv("TOLVO_OPENAI_BASE", server.baseUrl().toUtf8());
        qunsetenv("OPENAI_API_KEY");
        // Unrouted ESPN paths are empty but valid replies; crests are small
        // images, one colour per club.
        server.setFallback([](const StubRequest &r) {
            if (r.path.startsWith(QLatin1String("/crests/")))
                return body(pngBytes(Qt::darkGreen), "image/png");
            return StubResponse::json(eventsReply({}));
        });
        server.route(MODEL, StubResponse::json(modelReply(quickAnswer())));
        TestEnv::writeFile(settingsFilePath(), settingsJson);
        context = std::make_unique<AppContext>(RelayConfig{});
        window = std::make_unique<MainWindow>(context.get());
        played = std::make_unique<QSignalSpy>(context->sound.get(), &SoundManager::played);
    }

    ~Harness()
    {
        played.reset();
        window.reset();
        context.reset();
    }

    QString crestUrl(const QString &teamId) const
    {
        return server.baseUrl() + QStringLiteral("/crests/") + teamId + QStringLiteral(".png");
    }

    QJsonObject team(const QString &id, const QString &name) const
    {
        return {{QStringLiteral("id"), id},
                {QStringLiteral("displayName"), name},
                {QStringLiteral("logo"), crestUrl(id)}};
    }

    QJsonObject event(const EventSpec &fixture) const
    {
        const bool completed = fixture.state == QLatin1String("post");
        auto competitor = [&](const QString &side, const QString &id, const QString &name,
                              const QString &score) {
            return QJsonObject{{QStringLiteral("homeAway"), side},
                               {QStringLiteral("team"), team(id, name)},
                               {QStringLiteral("score"), score}};
        };
        QJsonObject comp{
            {QStringLiteral("competitors"),
             QJsonArray{competitor(QStringLiteral("home"), fixture.homeId, fixture.home, fixture.homeScore),
                        competitor(QStringLiteral("away"), fixture.awayId, fixture.away, fixture.awayScore)}},
            {QStringLiteral("status"),
             QJsonObject{
                 {QStringLiteral("type"), QJsonObject{{QStringLiteral("state"), fixture.state},
                                                      {QStringLiteral("completed"), completed},
                                                      {QStringLiteral("shortDetail"), fixture.detail}}}}}};
        if (!fixture.venue.isEmpty())
            comp.insert(QStringLiteral("venue"), QJsonObject{{QStringLiteral("fullName"), fixture.venue}});
        return {{QStringLiteral("id"), fixture.id},
                {QStringLiteral("date"), fixture.date},
                {QStringLiteral("competitions"), QJsonArray{comp}}};
    }

    // Every scoreboard request of the league answers with these events.
    void routeScoreboard(const QString &slug, const QList<EventSpec> &specs, int delayMs = 0)
    {
        QList<QJsonObject> events;
        for (const EventSpec &fixture : specs)
            events.append(event(fixture));
        StubResponse response = StubResponse::json(eventsReply(events));
        response.delayMs = delayMs;
        server.route(SITE + slug + QStringLiteral("/scoreboard"), response);
    }

    // Quick calls answer `quick`, reasoning calls `reasoning`.
    void routeModel(const StubResponse &quick, const StubResponse &reasoning)
    {
        server.route(MODEL,
                     [quick, reasoning](const StubRequest &r) { return isQuickCall(r) ? quick : reasoning; });
    }

    QStringList toasts() const
    {
        QStringList messages;
        for (Toast *toast : window->toastManager()->toasts())
            messages.append(toast->message());
        return messages;
    }

    // "success", "error" or "info" for each toast, told by its frame colour.
    QStringList toastKinds() const
    {
        QStringList kinds;
        for (Toast *toast : window->toastManager()->toasts()) {
            QString kind = QStringLiteral("info");
            for (const QString &k : {QStringLiteral("success"), QStringLiteral("error")}) {
                if (toast->styleSheet().contains(Toast::colorFor(k)))
                    kind = k;
            }
            kinds.append(kind);
        }
        return kinds;
    }

    QStringList sounds() const
    {
        QStringList names;
        for (const QList<QVariant> &call : *played)
            names.append(call.first().toString());
        return names;
    }

    TestEnv env;
    StubServer server;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QSignalSpy> played;
};

// Every label under `root` showing text that contains markup characters
// must show it as typed.
inline void verifyPlainLabels(const QWidget *root)
{
    for (const QLabel *label : root->findChildren<QLabel *>()) {
        if (label->text().contains(QLatin1Char('<')) || label->text().contains(QLatin1Char('&')))
            QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(label->text()));
    }
}

} // namespace ui_test
