// Figures and screenshots of the fixture pages against the developer stub's
// offline football world (tools/devstub), served in-process.
// Not a test: it prints what it measures and leaves the judging to the reader.
//
//   tolvo_bench_pages live [RUNS]     one live refresh with every league answering after 200 ms
//   tolvo_bench_pages leagues         requests sent by a second showing of the leagues page
//   tolvo_bench_pages memory          resident memory with the leagues page's cards and their crests
//   tolvo_bench_pages screens DIR [WxH]  screenshots of every page in both themes

#include "DevStub.h"
#include "Recording.h"
#include "app/Constants.h"
#include "app/FileIo.h"
#include "app/League.h"
#include "app/Paths.h"
#include "data/FixtureQueries.h"
#include "model/HistoryStore.h"
#include "stubserver/StubServer.h"
#include "ui/app/AppContext.h"
#include "ui/cards/MatchCard.h"
#include "ui/cards/MatchListView.h"
#include "ui/cards/PredictionCard.h"
#include "ui/pages/FavoritesPage.h"
#include "ui/pages/LeaguesPage.h"
#include "ui/pages/LivePage.h"
#include "ui/pages/SearchPage.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/Sidebar.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>

namespace {

void say(const QString &line)
{
    std::printf("%s\n", qUtf8Printable(line));
    std::fflush(stdout);
}

bool waitFor(const std::function<bool()> &done, int timeoutMs = 30000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// A throw-away home for one run, so the bench never reads or writes the
// user's own files.
struct BenchHome
{
    BenchHome()
    {
        setApplicationIdentity();
        QStandardPaths::setTestModeEnabled(true);
        for (const char *var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
            const QString path = dir.path() + QLatin1Char('/') + QLatin1String(var);
            QDir().mkpath(path);
            qputenv(var, path.toUtf8());
        }
    }
    QTemporaryDir dir;
};

// The recording in the source tree, read once.
const Recording &recording()
{
    static const Recording loaded = []() {
        QString error;
        std::optional<Recording> read = loadRecording(QStringLiteral(TOLVO_DEVSTUB_DATA_DIR), &error);
        if (!read) {
            say(error);
            std::exit(1);
        }
        return std::move(*read);
    }();
    return loaded;
}

DevStub::Options stubOptions(int latencyMs, int crestSize)
{
    DevStub::Options options;
    options.latencyMs = latencyMs;
    options.crestSize = crestSize;
    return options;
}

// A fresh home folder, the developer stub on a free port, and a program on it.
struct Program
{
    explicit Program(int latencyMs = 0, int crestSize = 96, const QByteArray &settings = {})
        : stub(recording(), QDateTime::currentDateTime(), stubOptions(latencyMs, crestSize))
    {
        stub.setBaseUrl(server.baseUrl());
        server.setFallback([this](const StubRequest &request) { return stub.respond(request); });
        qputenv("TOLVO_ESPN_HOST", server.baseUrl().toUtf8());
        qputenv("TOLVO_ESPN_SEARCH_HOST", server.baseUrl().toUtf8());
        qputenv("TOLVO_OPENAI_BASE", server.baseUrl().toUtf8());
        qunsetenv("OPENAI_API_KEY");
        saveUserFile(settingsFilePath(),
                     settings.isEmpty()
                         ? QByteArray(R"({"openai_api_key": "sk-bench", "sound_enabled": false})")
                         : settings);
    }

    void open()
    {
        context = std::make_unique<AppContext>(RelayConfig{});
        window = std::make_unique<MainWindow>(context.get());
    }

    void navigate(const QString &key)
    {
        QTest::mouseClick(window->findChild<Sidebar *>()->buttonFor(key), Qt::LeftButton);
    }

    int scoreboardRequests() const
    {
        int n = 0;
        for (const StubRequest &r : server.requests())
            n += r.path.endsWith(QLatin1String("/scoreboard")) ? 1 : 0;
        return n;
    }

    // Until no request came for half a second: crests and the like.
    void settle() const
    {
        for (qsizetype seen = -1; seen != server.requests().size();) {
            seen = server.requests().size();
            waitFor([]() { return false; }, 500);
        }
    }

    BenchHome home;
    // Declared before the server, which answers through it until it stops.
    DevStub stub;
    StubServer server;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<MainWindow> window;
};

qint64 median(std::vector<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

int benchLive(int runs)
{
    say(QStringLiteral("Live refresh, all %1 leagues, each scoreboard answering after 200 ms")
            .arg(defaultLeagues().size()));
    std::vector<qint64> fetches;
    std::vector<qint64> pages;
    for (int i = 0; i < runs; ++i) {
        // The bare fan-out fetch, on a worker as the page runs it.
        {
            Program program(200);
            program.open();
            QElapsedTimer clock;
            clock.start();
            QFuture<std::vector<Match>> future = QtConcurrent::run(
                [&program]() { return fetchTodayMatches(program.context->espn, ALL_LEAGUES); });
            waitFor([&]() { return future.isFinished(); });
            fetches.push_back(clock.elapsed());
        }
        // The page: from being shown to its cards.
        {
            Program program(200);
            program.open();
            auto *live = static_cast<LivePage *>(program.window->page(QStringLiteral("live")));
            QElapsedTimer clock;
            clock.start();
            program.window->show();
            if (!waitFor([&]() { return !live->list()->cards().empty(); })) {
                say(QStringLiteral("run %1: no cards").arg(i + 1));
                return 1;
            }
            pages.push_back(clock.elapsed());
        }
        say(QStringLiteral("run %1: fetch %2 ms, page shown with cards %3 ms")
                .arg(i + 1)
                .arg(fetches.back())
                .arg(pages.back()));
    }
    say(QStringLiteral("median: fetch %1 ms, page %2 ms (goal: under 700 ms; one after the other "
                       "would be about 2,200 ms)")
            .arg(median(fetches))
            .arg(median(pages)));
    return 0;
}

int benchLeagues()
{
    Program program(0, 96,
                    R"({"openai_api_key": "sk-bench", "sound_enabled": false, "start_page": "leagues"})");
    program.open();
    auto *leagues = static_cast<LeaguesPage *>(program.window->page(QStringLiteral("leagues")));
    program.window->show();
    waitFor([&]() { return !leagues->list()->cards().empty(); });
    program.settle(); // crests
    const int first = program.scoreboardRequests();
    program.navigate(QStringLiteral("search"));
    QElapsedTimer clock;
    clock.start();
    program.navigate(QStringLiteral("leagues"));
    waitFor([&]() { return !leagues->list()->cards().empty(); });
    const qint64 ms = clock.elapsed();
    say(QStringLiteral("Leagues page: first showing sent %1 scoreboard requests; the second showing sent %2 "
                       "and showed its %3 cards in %4 ms")
            .arg(first)
            .arg(program.scoreboardRequests() - first)
            .arg(leagues->list()->cards().size())
            .arg(ms));
    return program.scoreboardRequests() == first ? 0 : 1;
}

QString statusValue(const QString &key)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(QByteArray(key.toLatin1() + ':')))
            return QString::fromLatin1(line.mid(key.size() + 1).simplified());
    }
    return QStringLiteral("?");
}

int benchMemory()
{
    // Crests as large as ESPN's (500 px).
    Program program(0, 500,
                    R"({"openai_api_key": "sk-bench", "sound_enabled": false, "start_page": "search"})");
    program.open();
    program.window->show();
    waitFor([]() { return false; }, 500);
    say(QStringLiteral("Resident before the leagues page: %1").arg(statusValue(QStringLiteral("VmRSS"))));
    auto *leagues = static_cast<LeaguesPage *>(program.window->page(QStringLiteral("leagues")));
    program.navigate(QStringLiteral("leagues"));
    waitFor([&]() { return !leagues->list()->cards().empty(); });
    // Every crest downloaded and shown.
    program.settle();
    const size_t cards = leagues->list()->cards().size();
    // Scroll through the whole list so that every card has been painted.
    QScrollBar *bar = leagues->list()->verticalScrollBar();
    for (int v = 0; v <= bar->maximum(); v += 200) {
        bar->setValue(v);
        waitFor([]() { return false; }, 20);
    }
    say(QStringLiteral(
            "Leagues page with %1 cards and their crests: resident %2 (peak %3; goal: under 100 MB)")
            .arg(cards)
            .arg(statusValue(QStringLiteral("VmRSS")), statusValue(QStringLiteral("VmHWM"))));
    // Shown again: the cards are rebuilt; memory must not grow with every showing.
    const auto showAgain = [&](int times) {
        for (int i = 0; i < times; ++i) {
            program.navigate(QStringLiteral("search"));
            program.navigate(QStringLiteral("leagues"));
            waitFor([&]() { return leagues->list()->cards().size() == cards; });
            waitFor([]() { return false; }, 300);
        }
    };
    showAgain(5);
    say(QStringLiteral("After five more showings: resident %1").arg(statusValue(QStringLiteral("VmRSS"))));
    showAgain(15);
    say(QStringLiteral("After twenty more showings: resident %1 (peak %2)")
            .arg(statusValue(QStringLiteral("VmRSS")), statusValue(QStringLiteral("VmHWM"))));
    return 0;
}

void shoot(MainWindow *window, const QString &dir, const QString &name)
{
    waitFor([]() { return false; }, 400); // fades and crests
    const QString path = QDir(dir).filePath(name + QStringLiteral(".png"));
    window->grab().save(path);
    say(path);
}

// A season's worth of checked calls for the track record: outcomes drawn from
// the bookmakers' chances, the model a noisier copy of them, a few made in play.
void writeScoredHistory()
{
    QRandomGenerator random(16);
    HistoryStore store(historyDatabasePath());
    for (int i = 0; i < 51; ++i) {
        const double home = 25 + random.bounded(45);
        const double draw = std::min(30.0, 100 - home - 10) - random.bounded(6);
        Prediction p = Prediction::freshlyCreated();
        p.match_label = QStringLiteral("Match %1").arg(i + 1);
        p.league = i % 3 ? QStringLiteral("Premier League") : QStringLiteral("La Liga");
        p.market_home_pct = home;
        p.market_draw_pct = draw;
        p.market_away_pct = 100 - home - draw;
        p.market_provider = QStringLiteral("DraftKings");
        p.home_win_pct = std::clamp(int(home) + random.bounded(21) - 10, 5, 85);
        p.draw_pct = 26;
        p.away_win_pct = 100 - p.home_win_pct - p.draw_pct;
        p.outcome = p.home_win_pct >= p.away_win_pct ? QStringLiteral("HOME") : QStringLiteral("AWAY");
        p.kickoff_state = i < 48 ? QStringLiteral("pre") : QStringLiteral("in");
        const double roll = random.bounded(100.0);
        p.actual_home_score = roll < home ? 2 : 1;
        p.actual_away_score = roll < home ? 0 : (roll < home + draw ? 1 : 3);
        store.add(p);
    }
}

int screens(const QString &dir, const QSize &size)
{
    QDir().mkpath(dir);
    Program program(0, 96,
                    R"({"openai_api_key": "sk-bench", "sound_enabled": false, "start_page": "leagues"})");
    writeScoredHistory();
    program.open();
    MainWindow *window = program.window.get();
    window->resize(size);
    window->show();
    auto *leagues = static_cast<LeaguesPage *>(window->page(QStringLiteral("leagues")));
    auto *live = static_cast<LivePage *>(window->page(QStringLiteral("live")));
    auto *search = static_cast<SearchPage *>(window->page(QStringLiteral("search")));

    waitFor([&]() { return !leagues->list()->cards().empty(); });
    // A starred fixture, and a call with its reasoning on the first card.
    MatchCard *first = leagues->list()->cards().front();
    QTest::mouseClick(leagues->list()->cards().at(1)->favButton, Qt::LeftButton);
    QTest::mouseClick(first->predictButton, Qt::LeftButton);
    waitFor([&]() { return first->predictionCard != nullptr; });
    QTest::mouseClick(first->predictionCard->reasoningButton, Qt::LeftButton);
    waitFor([&]() { return first->predictionCard->summaryLabel != nullptr; });
    waitFor([]() { return false; }, 3800); // let the toasts go

    for (const QString &theme : {QStringLiteral("dark"), QStringLiteral("light")}) {
        window->applyTheme(theme);
        program.navigate(QStringLiteral("leagues"));
        waitFor([&]() { return !leagues->list()->cards().empty(); });
        shoot(window, dir, theme + QStringLiteral("-leagues"));
        leagues->list()->verticalScrollBar()->setValue(0);
        MatchCard *predicted = leagues->list()->cards().front();
        leagues->list()->ensureWidgetVisible(predicted->predictionCard, 0, 0);
        shoot(window, dir, theme + QStringLiteral("-prediction"));

        program.navigate(QStringLiteral("live"));
        waitFor([&]() { return !live->list()->cards().empty(); });
        shoot(window, dir, theme + QStringLiteral("-live"));

        program.navigate(QStringLiteral("search"));
        search->queryEdit()->setText(QStringLiteral("Arsenal vs Bayern Munich"));
        search->search();
        waitFor([&]() { return !search->list()->cards().empty(); });
        shoot(window, dir, theme + QStringLiteral("-search"));

        program.navigate(QStringLiteral("favorites"));
        shoot(window, dir, theme + QStringLiteral("-favorites"));

        program.navigate(QStringLiteral("history"));
        waitFor([&]() {
            auto *figures = window->findChild<QWidget *>(QStringLiteral("DashboardContent"));
            return figures && figures->isVisible();
        });
        shoot(window, dir, theme + QStringLiteral("-history"));
        waitFor([]() { return false; }, 3600);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    if (mode == QLatin1String("live"))
        return benchLive(std::max(1, args.value(2, QStringLiteral("5")).toInt()));
    if (mode == QLatin1String("leagues"))
        return benchLeagues();
    if (mode == QLatin1String("memory"))
        return benchMemory();
    if (mode == QLatin1String("screens") && args.size() > 2) {
        const QStringList size = args.value(3, QStringLiteral("1180x760")).split(QLatin1Char('x'));
        return screens(args.at(2), QSize(size.value(0).toInt(), size.value(1).toInt()));
    }
    say(QStringLiteral("usage: tolvo_bench_pages live [RUNS] | leagues | memory | screens DIR"));
    return 2;
}
