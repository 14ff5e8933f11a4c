#pragma once

// The one harness of the widget tests: a temporary home, one stub server on
// 127.0.0.1 playing ESPN, the crest host and the model service, and the
// program's context and main window on top of them.

#include "ai/Prompts.h"
#include "app/Paths.h"
#include "model/Match.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"
#include "ui/app/AppContext.h"
#include "ui/common/SoundManager.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/Sidebar.h"
#include "ui/shell/Toast.h"

#include <QApplication>
#include <QBuffer>
#include <QFutureWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

// Generous: the machines that run the suites may be busy with other work.
constexpr int WAIT_MS = 15000;
inline const QString SITE = u"/apis/site/v2/sports/soccer/"_s;
inline const QString MODEL = u"/v1/chat/completions"_s;

inline QByteArray pngBytes(const QColor &color)
{
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

inline StubResponse delayed(StubResponse response, int ms)
{
    response.delayMs = ms;
    return response;
}

// An unplayed Arsenal vs Chelsea fixture far in the future, as card tests need one.
inline Match futureFixture(const QString &id)
{
    Match m;
    m.id = id;
    m.home_team = u"Arsenal"_s;
    m.away_team = u"Chelsea"_s;
    m.league = u"English Premier League"_s;
    m.date = u"2031-03-08"_s;
    m.time = u"15:00"_s;
    m.state = u"pre"_s;
    return m;
}

inline QByteArray json(const QJsonValue &value)
{
    return value.isArray() ? QJsonDocument(value.toArray()).toJson()
                           : QJsonDocument(value.toObject()).toJson();
}

// A chat-completions reply whose message is `content`.
inline StubResponse textReply(const QString &content, int delayMs = 0)
{
    const QJsonObject message{{"role", "assistant"}, {"content", content}};
    return delayed(StubResponse::json(json(QJsonObject{
                       {"choices", QJsonArray{QJsonObject{{"message", message}}}},
                       {"usage", QJsonObject{{"prompt_tokens", 1000}, {"completion_tokens", 200}}}})),
                   delayMs);
}

inline StubResponse quickReply(const QString &outcome = u"HOME"_s, int delayMs = 0)
{
    return textReply(QString::fromUtf8(json(QJsonObject{{"outcome", outcome},
                                                        {"home_win_pct", 55},
                                                        {"draw_pct", 25},
                                                        {"away_win_pct", 20},
                                                        {"scoreline", "2-1"},
                                                        {"confidence", 62}})),
                     delayMs);
}

// The (role, content) pairs a model request carried.
inline QList<QPair<QString, QString>> messagesOf(const StubRequest &request)
{
    QList<QPair<QString, QString>> list;
    for (const QJsonValue &v : QJsonDocument::fromJson(request.body)["messages"].toArray())
        list.append({v["role"].toString(), v["content"].toString()});
    return list;
}

// The reasoning call has a system text of its own.
inline bool isQuickCall(const StubRequest &request)
{
    return messagesOf(request).value(0).second == QUICK_SYSTEM_PROMPT_BASE;
}

// One ESPN event between clubs 1 and 2; scores count only in play and after.
struct FakeEvent
{
    QString id;
    QString date; // ISO "yyyy-MM-ddTHH:mmZ"
    QString state = u"pre"_s;
    QString home = u"Home "_s + id;
    QString away = u"Away "_s + id;
    QString homeScore = u"0"_s;
    QString awayScore = u"0"_s;
    QString detail = {};
};

class UiHarness
{
public:
    explicit UiHarness(const QByteArray &settingsJson = R"({"openai_api_key": "sk-test"})")
    {
        for (const char *host : {"TOLVO_ESPN_HOST", "TOLVO_ESPN_SEARCH_HOST", "TOLVO_OPENAI_BASE"})
            qputenv(host, server.baseUrl().toUtf8());
        // A developer's own key would override every settings file here.
        qunsetenv("OPENAI_API_KEY");
        // Unrouted ESPN paths are empty but valid replies; every crest is a
        // small green image.
        server.setFallback([](const StubRequest &r) {
            return r.path.startsWith("/crests/"_L1) ? StubResponse::json(pngBytes(Qt::darkGreen))
                                                    : StubResponse::json(R"({"events": []})");
        });
        server.route(MODEL, quickReply());
        TestEnv::writeFile(settingsFilePath(), settingsJson);
    }
    ~UiHarness() { stop(); }

    // The context and the window as the program builds them; the start-up
    // update check goes nowhere, whatever the build was configured with.
    void start(const RelayConfig &relay = {})
    {
        stop();
        context = std::make_unique<AppContext>(relay);
        window = std::make_unique<MainWindow>(context.get());
        window->setUpdateBase(QString());
        played = std::make_unique<QSignalSpy>(context->sound.get(), &SoundManager::played);
        window->installEventFilter(&toastLog);
    }
    void stop()
    {
        played.reset();
        window.reset();
        context.reset();
    }
    void show()
    {
        if (!window)
            start();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    // Shows the window on the page of `key`, with no sound heard yet.
    void open(const QString &key)
    {
        show();
        navigate(key);
        played->clear();
    }
    void navigate(const QString &key)
    {
        QTest::mouseClick(window->findChild<Sidebar *>()->buttonFor(key), Qt::LeftButton);
    }
    template <typename Page = QWidget> Page *page(const QString &key) const
    {
        return qobject_cast<Page *>(window->page(key));
    }
    // Every task the pages started has delivered its result (each one is a
    // watcher owned by the context until then).
    bool tasksDone() const { return context->findChildren<QFutureWatcherBase *>().isEmpty(); }

    QString crestUrl(const QString &teamId) const
    {
        return server.baseUrl() + u"/crests/"_s + teamId + u".png"_s;
    }
    QJsonObject event(const FakeEvent &e) const
    {
        auto side = [&](const char *where, const char *id, const QString &name, const QString &score) {
            return QJsonObject{
                {"homeAway", where},
                {"score", score},
                {"team", QJsonObject{{"id", id}, {"displayName", name}, {"logo", crestUrl(id)}}}};
        };
        const QJsonObject status{{"type", QJsonObject{{"state", e.state},
                                                      {"completed", e.state == "post"_L1},
                                                      {"shortDetail", e.detail}}}};
        return {{"id", e.id},
                {"date", e.date},
                {"competitions", QJsonArray{QJsonObject{
                                     {"competitors", QJsonArray{side("home", "1", e.home, e.homeScore),
                                                                side("away", "2", e.away, e.awayScore)}},
                                     {"status", status},
                                     {"venue", QJsonObject{{"fullName", QString(u"Ground "_s + e.id)}}}}}}};
    }
    StubResponse events(const QList<FakeEvent> &specs, int delayMs = 0) const
    {
        QJsonArray array;
        for (const FakeEvent &e : specs)
            array.append(event(e));
        return delayed(StubResponse::json(json(QJsonObject{{"events", array}})), delayMs);
    }
    // Every scoreboard request of the league answers with these events.
    void routeScoreboard(const QString &slug, const QList<FakeEvent> &specs, int delayMs = 0)
    {
        server.route(SITE + slug + u"/scoreboard"_s, events(specs, delayMs));
    }

    // Quick calls answer `quick`, reasoning calls `reasoning`.
    void routeModel(const StubResponse &quick, const StubResponse &reasoning)
    {
        server.route(MODEL, [=](const StubRequest &r) { return isQuickCall(r) ? quick : reasoning; });
    }

    QStringList toasts() const { return toastLog.messages; }
    QStringList toastKinds() const { return toastLog.kinds; }
    QString lastToast() const { return toastLog.messages.value(toastLog.messages.size() - 1); }
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

private:
    // Notes each toast as it is first polished, with its kind told by its colour.
    struct ToastLog : QObject
    {
        QStringList messages, kinds;
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            auto *toast = event->type() == QEvent::ChildPolished
                              ? qobject_cast<Toast *>(static_cast<QChildEvent *>(event)->child())
                              : nullptr;
            if (toast && !toast->property("logged").toBool()) {
                toast->setProperty("logged", true);
                messages.append(toast->message());
                kinds.append(u"info"_s);
                for (const QString &kind : {u"success"_s, u"error"_s}) {
                    if (toast->styleSheet().contains(Toast::colorFor(kind)))
                        kinds.last() = kind;
                }
            }
            return QObject::eventFilter(watched, event);
        }
    } toastLog;
};

// Every label under `root` showing text with markup characters shows it as typed.
inline void verifyPlainLabels(const QWidget *root)
{
    for (const QLabel *label : root->findChildren<QLabel *>()) {
        if (label->text().contains(u'<') || label->text().contains(u'&'))
            QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(label->text()));
    }
}

// The first widget under `root` whose `read` gives `value` (a text, a tool tip, a role).
template <typename W = QPushButton, typename Read>
W *findBy(const QObject *root, Read read, const QString &value)
{
    for (W *w : root->findChildren<W *>()) {
        if (read(w) == value)
            return w;
    }
    return nullptr;
}
inline QPushButton *buttonWithText(const QObject *root, const QString &text)
{
    return findBy(
        root, [](QPushButton *b) { return b->text(); }, text);
}
inline QPushButton *buttonWithTip(const QObject *root, const QString &tip)
{
    return findBy(
        root, [](QPushButton *b) { return b->toolTip(); }, tip);
}
inline QLabel *labelWithRole(const QObject *root, const QString &role)
{
    return findBy<QLabel>(
        root, [](QLabel *l) { return l->property("role").toString(); }, role);
}
inline QLabel *labelNamed(const QObject *root, const QString &accessibleName)
{
    return findBy<QLabel>(
        root, [](QLabel *l) { return l->accessibleName(); }, accessibleName);
}

// Clicks `button` of the next message box as soon as it is shown (the box is
// modal, so the answer comes from a timer that `owner` keeps). Returns where
// the box's title and text are written.
inline std::shared_ptr<QString> answerMessageBox(QObject *owner, QMessageBox::StandardButton button)
{
    auto seen = std::make_shared<QString>();
    auto *poll = new QTimer(owner);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, button, seen]() {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            *seen = box->windowTitle() + u'|' + box->text();
            poll->deleteLater();
            QTest::mouseClick(box->button(button), Qt::LeftButton);
        }
    });
    poll->start(20);
    return seen;
}
