// How quickly the history page rebuilds with a full history (200
// predictions), and whether typing in its search field ever blocks the GUI
// thread for long. Prints the figures; bench/history_refresh.sh builds and
// runs it.
//
// Runs on empty temporary user folders, never the real ones.

#include "app/Constants.h"
#include "app/Paths.h"
#include "model/HistoryStore.h"
#include "ui/app/AppContext.h"
#include "ui/pages/HistoryPage.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/Sidebar.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char *const Leagues[] = {"English Premier League", "Spanish LALIGA", "Italian Serie A",
                               "German Bundesliga",      "French Ligue 1", "UEFA Champions League"};
const char *const Clubs[] = {"Arsenal", "Chelsea",  "Liverpool", "Everton",  "Real Madrid", "Barcelona",
                             "Inter",   "AC Milan", "Napoli",    "Juventus", "Bayern",      "Dortmund"};

// 200 predictions, newest first: two thirds checked, a few made-up fixtures.
void fillHistory(HistoryStore &store)
{
    store.clear();
    for (int i = 199; i >= 0; --i) {
        Prediction p = Prediction::freshlyCreated();
        p.match_label =
            QStringLiteral("%1 vs %2").arg(QLatin1String(Clubs[i % 12]), QLatin1String(Clubs[(i + 5) % 12]));
        p.league = QLatin1String(Leagues[i % 6]);
        p.match_id = i % 17 == 0 ? QStringLiteral("hyp-%1").arg(i) : QString::number(740000 + i);
        p.outcome = QLatin1String(i % 3 == 0 ? "HOME" : i % 3 == 1 ? "DRAW" : "AWAY");
        p.scoreline = QStringLiteral("%1-%2").arg(i % 4).arg(i % 3);
        p.confidence = 40 + i % 50;
        p.created_at = QDateTime(QDate(2025, 1, 1), QTime(12, 0)).addSecs(3600 * i).toString(Qt::ISODate);
        if (i % 3 != 2) {
            p.actual_home_score = i % 4;
            p.actual_away_score = (i + 1) % 3;
        }
        store.add(p);
    }
}

struct Figures
{
    std::vector<double> ms;

    void add(double v) { ms.push_back(v); }
    double median() const
    {
        std::vector<double> s = ms;
        std::sort(s.begin(), s.end());
        return s.empty() ? 0 : s[s.size() / 2];
    }
    double max() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
};

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// Runs the event loop for `ms` and returns the longest stretch in which it
// could not run a 1 ms timer, i.e. the longest the GUI thread was blocked.
double longestBlockWhile(int ms, const std::function<void(QEventLoop &)> &start)
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
    start(loop);
    loop.exec();
    return longest;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    for (const char *var :
         {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "APPDATA", "LOCALAPPDATA"})
        qputenv(var, home.path().toUtf8());
    setApplicationIdentity();
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);

    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    {
        HistoryStore store(historyFilePath());
        fillHistory(store);
    }

    AppContext context{RelayConfig{}};
    context.settings.sound_enabled = false;
    MainWindow window(&context);
    window.show();
    window.findChild<Sidebar *>()->buttonFor(QStringLiteral("history"))->click();
    auto *page = qobject_cast<HistoryPage *>(window.page(QStringLiteral("history")));
    QApplication::processEvents();

    // A full rebuild, as when the page is shown: until the rebuilt page is
    // on screen, and until the last of the 200 rows exists.
    Figures firstPaint, complete;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        page->refresh(false);
        // What the event loop does before it paints: the queued shows of the
        // new rows and the layout.
        QApplication::sendPostedEvents();
        window.repaint();
        firstPaint.add(msSince(t));
        while (page->rowsPending())
            QApplication::processEvents();
        QApplication::sendPostedEvents();
        window.repaint();
        complete.add(msSince(t));
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Typing "arsenal" and deleting it again, at a quick typist's pace (a
    // key every 120 ms) and at a slow one's (every 300 ms, so that the list
    // follows after every key), with the rows fading in: the longest the GUI
    // thread was blocked at a stretch.
    auto *search = page->findChild<QLineEdit *>();
    const QString word = QStringLiteral("arsenal");
    auto typing = [&](int intervalMs) {
        Figures block;
        for (int i = 0; i < std::max(1, runs / 5); ++i) {
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
            // Until the list has followed the last key and every row exists.
            block.add(longestBlockWhile(intervalMs * (2 * int(word.size()) + 1) + 1000,
                                        [&](QEventLoop &) { keys.start(); }));
        }
        return block;
    };
    const Figures quick = typing(120);
    const Figures slow = typing(300);

    std::printf("history page with %d predictions, %d runs\n", int(context.history.all().size()), runs);
    std::printf("rebuild until the page is painted:          median %6.1f ms  max %6.1f ms\n",
                firstPaint.median(), firstPaint.max());
    std::printf("rebuild until all rows exist:               median %6.1f ms  max %6.1f ms\n",
                complete.median(), complete.max());
    std::printf("typing quickly, GUI thread blocked at most:  median %6.1f ms  max %6.1f ms\n",
                quick.median(), quick.max());
    std::printf("typing slowly, GUI thread blocked at most:   median %6.1f ms  max %6.1f ms\n", slow.median(),
                slow.max());
    return 0;
}
