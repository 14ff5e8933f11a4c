// How the history keeps up with a long track record: moving a history.json
// of N predictions (half checked, eleven leagues) into the database, adding
// one more, the statistics over all of them, showing the history page, and
// how long a keystroke in its search field can block the GUI thread. Ends
// with the resident memory of the process with the page shown. Prints the
// figures; bench/history_refresh.sh builds and runs it.
//
// Runs on empty temporary user folders, never the real ones.

#include "ai/AccuracyStats.h"
#include "app/Constants.h"
#include "app/FileIo.h"
#include "app/Paths.h"
#include "model/HistoryStore.h"
#include "ui/app/AppContext.h"
#include "ui/pages/HistoryPage.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/Sidebar.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

const char *const Leagues[] = {"English Premier League", "Spanish LALIGA",     "Italian Serie A",
                               "German Bundesliga",      "French Ligue 1",     "UEFA Champions League",
                               "Dutch Eredivisie",       "Portuguese Liga",    "Scottish Premiership",
                               "English Championship",   "Major League Soccer"};
const char *const Clubs[] = {"Arsenal", "Chelsea",  "Liverpool", "Everton",  "Real Madrid", "Barcelona",
                             "Inter",   "AC Milan", "Napoli",    "Juventus", "Bayern",      "Dortmund"};

Prediction sample(int i)
{
    Prediction p = Prediction::freshlyCreated();
    p.match_label =
        QStringLiteral("%1 vs %2").arg(QLatin1String(Clubs[i % 12]), QLatin1String(Clubs[(i + 5) % 12]));
    p.home_team = QLatin1String(Clubs[i % 12]);
    p.away_team = QLatin1String(Clubs[(i + 5) % 12]);
    p.league = QLatin1String(Leagues[i % 11]);
    p.match_id = i % 17 == 0 ? QStringLiteral("hyp-%1").arg(i) : QString::number(740000 + i);
    p.outcome = QLatin1String(i % 3 == 0 ? "HOME" : i % 3 == 1 ? "DRAW" : "AWAY");
    p.home_win_pct = 45;
    p.draw_pct = 27;
    p.away_win_pct = 28;
    p.scoreline = QStringLiteral("%1-%2").arg(i % 4).arg(i % 3);
    p.confidence = 40 + i % 50;
    p.model = QStringLiteral("gpt-4o-mini");
    p.cost_gbp = 0.0004;
    if (i % 4 == 0) {
        p.summary = QStringLiteral("Both sides come in with good form; the home side's press should tell.");
        p.key_factors = {QStringLiteral("Home form"), QStringLiteral("Injuries"),
                         QStringLiteral("Head-to-head")};
    }
    p.created_at = QDateTime(QDate(2024, 1, 1), QTime(12, 0)).addSecs(1800 * i).toString(Qt::ISODate);
    if (i % 2 == 0) {
        p.actual_home_score = i % 4;
        p.actual_away_score = (i + 1) % 3;
    }
    return p;
}

// history.json as the program wrote it: newest first, indented.
void writeLegacyHistory(int n)
{
    QJsonArray array;
    for (int i = n - 1; i >= 0; --i)
        array.append(sample(i).toJson());
    saveUserFile(historyFilePath(), QJsonDocument(array).toJson(QJsonDocument::Indented));
}

// The CPU time of this thread: on a busy machine the wall clock mostly
// measures the other processes; this is what the work itself costs.
double cpuMs()
{
#ifdef Q_OS_UNIX
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
#else
    return 0;
#endif
}

// Wall-clock and CPU time of one measured stretch.
struct Stopwatch
{
    QElapsedTimer wall;
    double cpuStart = 0;

    void restart()
    {
        cpuStart = cpuMs();
        wall.restart();
    }
    double wallMs() const { return double(wall.nsecsElapsed()) / 1e6; }
    double usedCpuMs() const { return cpuMs() - cpuStart; }
};

struct Figures
{
    std::vector<double> ms;
    std::vector<double> cpu;

    void add(const Stopwatch &s)
    {
        ms.push_back(s.wallMs());
        cpu.push_back(s.usedCpuMs());
    }
    void add(double v) { ms.push_back(v); }
    static double medianOf(std::vector<double> s)
    {
        std::sort(s.begin(), s.end());
        return s.empty() ? 0 : s[s.size() / 2];
    }
    double median() const { return medianOf(ms); }
    double max() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
};

// Runs the event loop for `ms` and returns the longest stretch in which it
// could not run a 1 ms timer, i.e. the longest the GUI thread was blocked.
double longestBlockWhile(int ms, const std::function<void()> &start)
{
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    double longest = 0;
    QTimer probe;
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&]() {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, double(now - last) / 1e6);
        last = now;
    });
    probe.start();
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    start();
    loop.exec();
    return longest;
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

void print(const char *what, const Figures &f)
{
    std::printf("%-44s median %7.1f ms  max %7.1f ms", what, f.median(), f.max());
    if (!f.cpu.empty())
        std::printf("   (CPU: median %6.1f ms  max %6.1f ms)", Figures::medianOf(f.cpu),
                    *std::max_element(f.cpu.begin(), f.cpu.end()));
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv)
{
    // "memory" opens the history a first run left in TOLVO_BENCH_HOME, as a
    // later start of the program does, and only measures memory: the first
    // run's import leaves the heap larger than the program ever needs again.
    const bool memoryOnly = argc > 3 && qstrcmp(argv[3], "memory") == 0;
    QTemporaryDir temporary;
    const QByteArray home = qEnvironmentVariableIsSet("TOLVO_BENCH_HOME") ? qgetenv("TOLVO_BENCH_HOME")
                                                                          : temporary.path().toUtf8();
    for (const char *var :
         {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "APPDATA", "LOCALAPPDATA"})
        qputenv(var, home);
    setApplicationIdentity();
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);

    const int n = argc > 1 ? std::max(1, atoi(argv[1])) : 20000;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 10;
    std::printf("history of %d predictions, %d runs\n", n, runs);

    Stopwatch t;
    if (!memoryOnly) {
        writeLegacyHistory(n);
        t.restart();
        HistoryStore store(historyDatabasePath());
        std::printf("%-44s %7.1f ms   (CPU: %6.1f ms)\n", "moving history.json in (first start)", t.wallMs(),
                    t.usedCpuMs());

        Figures adding;
        for (int i = 0; i < std::max(runs, 20); ++i) {
            const Prediction p = sample(n + i);
            t.restart();
            store.add(p);
            adding.add(t);
        }
        print("adding one prediction", adding);

        Figures pure, loaded;
        const QList<Prediction> checked = store.checked();
        for (int i = 0; i < runs; ++i) {
            t.restart();
            const AccuracyStats s = computeStats(checked);
            pure.add(t);
            t.restart();
            const AccuracyStats all = computeHistoryStats(store);
            loaded.add(t);
            if (s.checked != all.checked)
                return 1;
        }
        print("computeStats over the checked ones", pure);
        print("the same, reading them from the database", loaded);
    }

    AppContext context{RelayConfig{}};
    context.settings.sound_enabled = false;
    MainWindow window(&context);
    window.show();
    if (memoryOnly) {
        window.findChild<Sidebar *>()->buttonFor(QStringLiteral("history"))->click();
        QApplication::sendPostedEvents();
        window.repaint();
        QApplication::processEvents();
        std::printf("%-44s %7ld kB\n", "resident memory with the page shown", residentKb());
        return 0;
    }
    QApplication::processEvents();

    // Showing the page, until it is painted.
    Figures shown;
    for (int i = 0; i < runs; ++i) {
        window.findChild<Sidebar *>()->buttonFor(QStringLiteral("chat"))->click();
        QApplication::processEvents();
        // Let the statistics be read again, as after a change.
        context.history.add(sample(n + 100 + i));
        t.restart();
        window.findChild<Sidebar *>()->buttonFor(QStringLiteral("history"))->click();
        QApplication::sendPostedEvents();
        window.repaint();
        shown.add(t);
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    print("history page shown and painted", shown);
    auto *page = qobject_cast<HistoryPage *>(window.page(QStringLiteral("history")));
    // A look at the page as shown, when asked for.
    if (const QString shot = qEnvironmentVariable("TOLVO_BENCH_SCREENSHOT"); !shot.isEmpty()) {
        // After the page's fade-in.
        QEventLoop settle;
        QTimer::singleShot(800, &settle, &QEventLoop::quit);
        settle.exec();
        window.grab().save(shot);
    }

    // Typing "arsenal" and deleting it again, at a quick typist's pace (a
    // key every 120 ms) and at a slow one's (every 300 ms, so that the list
    // follows after every key): the longest the GUI thread was blocked.
    auto *search = page->findChild<QLineEdit *>();
    const QString word = QStringLiteral("arsenal");
    auto typing = [&](int intervalMs) {
        Figures block;
        for (int i = 0; i < std::max(1, runs / 3); ++i) {
            int step = 0;
            QTimer keys;
            keys.setInterval(intervalMs);
            QObject::connect(&keys, &QTimer::timeout, [&]() {
                if (step < word.size())
                    search->insert(word.mid(step, 1));
                else if (step < 2 * word.size())
                    search->backspace();
                ++step;
            });
            block.add(
                longestBlockWhile(intervalMs * (2 * int(word.size()) + 1) + 500, [&]() { keys.start(); }));
        }
        return block;
    };
    // What one keystroke costs once the list follows it: the query, the
    // rebuilt rows and the paint.
    Figures keystroke;
    for (int i = 0; i < runs; ++i) {
        for (int k = 1; k <= int(word.size()); ++k) {
            search->setText(word.left(k));
            t.restart();
            page->refresh(true);
            QApplication::sendPostedEvents();
            window.repaint();
            keystroke.add(t);
            QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
    search->clear();
    print("search keystroke: list rebuilt and painted", keystroke);
    print("typing quickly, GUI thread blocked at most", typing(120));
    print("typing slowly, GUI thread blocked at most", typing(300));

    return 0;
}
