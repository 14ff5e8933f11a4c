#include "CliCommands.h"

#include "CliArgs.h"
#include "CliOutput.h"
#include "CliScoring.h"

#include "ai/AccuracyStats.h"
#include "ai/CheckSummary.h"
#include "ai/PredictionService.h"
#include "ai/Predictor.h"
#include "ai/PredictorError.h"
#include "ai/Pricing.h"
#include "ai/ThinkingPreset.h"
#include "app/Constants.h"
#include "app/KeyStore.h"
#include "app/League.h"
#include "app/Log.h"
#include "app/Paths.h"
#include "app/RelayConfig.h"
#include "app/Settings.h"
#include "data/EspnApi.h"
#include "data/FixtureQueries.h"
#include "model/HistoryStore.h"
#include "model/HistoryTransfer.h"

#include <QDate>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSemaphore>
#include <QThreadPool>

#include <exception>
#include <functional>
#include <memory>
#include <mutex>

namespace {

// How many result checks run at once: enough to overlap the waits, few
// enough to stay polite to the data service.
constexpr int PARALLEL_CHECKS = 4;

// Predictions listed by "history" unless --limit says otherwise (0: all).
constexpr int DEFAULT_HISTORY_LIMIT = 200;

const char *const USAGE =
    "usage: tolvo-cli [--json] COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  leagues                                the tracked leagues\n"
    "  fixtures [LEAGUE] [--days N] [--limit N]\n"
    "                                         upcoming fixtures (default eng.1)\n"
    "  today [LEAGUE]                         today's fixtures, every state\n"
    "  search \"TEAM1 vs TEAM2\"                the fixture for a matchup\n"
    "  h2h TEAM1 TEAM2                        the two teams' meetings\n"
    "  standings LEAGUE [--season YEAR]       a league table\n"
    "  predict \"TEAM1 vs TEAM2\" | --event ID [--depth quick|standard|deep] [--reasoning]\n"
    "                                         predict a fixture and keep it in the history\n"
    "  history [--limit N]                    stored predictions, newest first (0: all)\n"
    "  check [ID]                             fetch final scores of unchecked predictions\n"
    "  stats                                  accuracy over the history\n"
    "  export FILE                            every prediction to FILE (.csv: CSV, else JSON)\n"
    "  import FILE                            predictions from an exported file or a history.json\n"
    "  config                                 the model settings in use and where the key comes from\n"
    "  config set KEY VALUE                   set openai_model, openai_base_url or thinking_depth;\n"
    "                                         \"config set openai_api_key -\" reads the key from stdin\n"
    "  models                                 the models the service lists\n"
    "\n"
    "Options: --json (machine-readable output), --help, --version\n";

// A usage mistake: the usage goes to stderr and the status is 2.
struct UsageError
{
    QString message;
};

// A failure the user should read: the message goes to stderr, status 1.
struct Failure
{
    QString message;
};

QString scoreText(const Match &m)
{
    if (m.home_score.isEmpty() && m.away_score.isEmpty())
        return QStringLiteral("vs");
    return m.home_score + QString::fromUtf8("\xE2\x80\x93") + m.away_score;
}

QString matchLabel(const Match &m)
{
    return m.home_team + QStringLiteral(" vs ") + m.away_team;
}

QJsonArray matchesJson(const std::vector<Match> &matches)
{
    QJsonArray array;
    for (const Match &m : matches)
        array.append(m.toJson());
    return array;
}

QString matchesTable(const std::vector<Match> &matches)
{
    if (matches.empty())
        return QStringLiteral("No fixtures.\n");
    QList<QStringList> rows;
    for (const Match &m : matches)
        rows.append(
            QStringList{m.date, m.time, m.home_team, scoreText(m), m.away_team, m.league, m.status_detail});
    return formatTable({QStringLiteral("Date"), QStringLiteral("Time"), QStringLiteral("Home"), QString(),
                        QStringLiteral("Away"), QStringLiteral("League"), QStringLiteral("Status")},
                       rows);
}

QString predictionText(const Prediction &p)
{
    QString text = p.match_label + QLatin1Char('\n');
    text += QStringLiteral("  Call:        %1, %2 (confidence %3%)\n")
                .arg(p.outcome, p.scoreline)
                .arg(p.confidence);
    text += QStringLiteral("  Chances:     home %1%  draw %2%  away %3%\n")
                .arg(p.home_win_pct)
                .arg(p.draw_pct)
                .arg(p.away_win_pct);
    if (!p.summary.isEmpty())
        text += QStringLiteral("  Reasoning:   ") + p.summary + QLatin1Char('\n');
    for (const QString &factor : p.key_factors)
        text += QStringLiteral("    - ") + factor + QLatin1Char('\n');
    text += QStringLiteral("  Model:       %1, %2\n").arg(p.model, costText(p.model, p.cost_gbp));
    return text;
}

void progress(const QString &text)
{
    if (stderrIsTerminal())
        printErr(QStringLiteral("\r\x1b[K") + text);
}

void endProgress()
{
    if (stderrIsTerminal())
        printErr(QStringLiteral("\r\x1b[K"));
}

class Cli
{
public:
    explicit Cli(CliArgs args)
        : m_args(std::move(args))
        , m_settings(Settings::load())
    {}

    int run()
    {
        using Command = std::function<void()>;
        const QMap<QString, Command> commands = {
            {QStringLiteral("leagues"), [this] { leagues(); }},
            {QStringLiteral("fixtures"), [this] { fixtures(); }},
            {QStringLiteral("today"), [this] { today(); }},
            {QStringLiteral("search"), [this] { search(); }},
            {QStringLiteral("h2h"), [this] { headToHead(); }},
            {QStringLiteral("standings"), [this] { standings(); }},
            {QStringLiteral("predict"), [this] { predict(); }},
            {QStringLiteral("history"), [this] { history(); }},
            {QStringLiteral("check"), [this] { check(); }},
            {QStringLiteral("stats"), [this] { stats(); }},
            {QStringLiteral("export"), [this] { exportFile(); }},
            {QStringLiteral("import"), [this] { importFile(); }},
            {QStringLiteral("config"), [this] { config(); }},
            {QStringLiteral("models"), [this] { models(); }},
        };
        const auto command = commands.find(m_args.command);
        if (command == commands.end())
            throw UsageError{QStringLiteral("unknown command: %1").arg(m_args.command)};
        command.value()();
        return 0;
    }

private:
    void expectPositional(int least, int most) const
    {
        const qsizetype n = m_args.positional.size();
        if (n < least || n > most)
            throw UsageError{QStringLiteral("wrong number of arguments for %1").arg(m_args.command)};
    }

    int intOption(const QString &name, int fallback) const
    {
        bool ok = true;
        const int value = m_args.intOption(name, fallback, &ok);
        if (!ok)
            throw UsageError{QStringLiteral("--%1 takes a whole number").arg(name)};
        return value;
    }

    EspnApi &api()
    {
        if (!m_api)
            m_api = std::make_unique<EspnApi>();
        return *m_api;
    }

    std::pair<QString, QString> vsQuery(const QString &query) const
    {
        const auto names = EspnApi::parseVsQuery(query);
        if (!names)
            throw UsageError{QStringLiteral("Use the format: Team1 vs Team2")};
        return *names;
    }

    void leagues()
    {
        expectPositional(0, 0);
        QJsonArray array;
        QList<QStringList> rows;
        for (const League &league : defaultLeagues()) {
            array.append(QJsonObject{{QStringLiteral("slug"), league.slug},
                                     {QStringLiteral("name"), league.name},
                                     {QStringLiteral("country"), league.country}});
            rows.append(QStringList{league.slug, league.name, league.country});
        }
        if (m_args.json)
            printJson(array);
        else
            printOut(formatTable(
                {QStringLiteral("Slug"), QStringLiteral("League"), QStringLiteral("Country")}, rows));
    }

    void fixtures()
    {
        expectPositional(0, 1);
        const QString league = m_args.positional.value(0, QStringLiteral("eng.1"));
        const int days = intOption(QStringLiteral("days"), m_settings.upcoming_days);
        const int limit = intOption(QStringLiteral("limit"), 60);
        printMatches(api().upcomingMatches(league, limit, days));
    }

    void today()
    {
        expectPositional(0, 1);
        printMatches(fetchTodayMatches(api(), m_args.positional.value(0, ALL_LEAGUES)));
    }

    void search()
    {
        expectPositional(1, 1);
        const auto [a, b] = vsQuery(m_args.positional.first());
        const auto [match, hypothetical] = findMatchup(api(), a, b);
        if (m_args.json) {
            printJson(QJsonObject{{QStringLiteral("match"), match.toJson()},
                                  {QStringLiteral("hypothetical"), hypothetical}});
            return;
        }
        printOut(matchesTable({match}));
        if (hypothetical)
            printOut(QString::fromUtf8(
                "No scheduled fixture found \xE2\x80\x94 predicting a hypothetical matchup.\n"));
    }

    void headToHead()
    {
        expectPositional(2, 2);
        printMatches(api().searchHeadToHead(m_args.positional.at(0), m_args.positional.at(1)));
    }

    void standings()
    {
        expectPositional(1, 1);
        const QString league = m_args.positional.first();
        std::vector<StandingsRow> rows;
        QString label;
        if (m_args.options.contains(QStringLiteral("season"))) {
            const int year = intOption(QStringLiteral("season"), 0);
            rows = api().standings(league, QString::number(year));
            label = QStringLiteral("%1-%2").arg(year).arg(year + 1);
        } else {
            std::tie(rows, label) = api().standingsLatest(league);
        }
        if (m_args.json) {
            QJsonArray array;
            for (const StandingsRow &r : rows) {
                array.append(QJsonObject{{QStringLiteral("rank"), r.rank},
                                         {QStringLiteral("team"), r.team},
                                         {QStringLiteral("gamesPlayed"), r.gamesPlayed},
                                         {QStringLiteral("wins"), r.wins},
                                         {QStringLiteral("ties"), r.ties},
                                         {QStringLiteral("losses"), r.losses},
                                         {QStringLiteral("pointDifferential"), r.pointDifferential},
                                         {QStringLiteral("points"), r.points}});
            }
            printJson(QJsonObject{{QStringLiteral("season"), label}, {QStringLiteral("rows"), array}});
            return;
        }
        QList<QStringList> table;
        for (const StandingsRow &r : rows)
            table.append(QStringList{r.rank, r.team, r.gamesPlayed, r.wins, r.ties, r.losses,
                                     r.pointDifferential, r.points});
        printOut(EspnApi::leagueNameFor(league) + QStringLiteral(" ") + label + QStringLiteral("\n\n"));
        printOut(table.isEmpty()
                     ? QStringLiteral("No table available.\n")
                     : formatTable({QStringLiteral("#"), QStringLiteral("Team"), QStringLiteral("P"),
                                    QStringLiteral("W"), QStringLiteral("D"), QStringLiteral("L"),
                                    QStringLiteral("GD"), QStringLiteral("Pts")},
                                   table));
    }

    void predict()
    {
        const bool byEvent = m_args.options.contains(QStringLiteral("event"));
        expectPositional(byEvent ? 0 : 1, byEvent ? 0 : 1);
        const QString depth = m_args.options.value(QStringLiteral("depth"), m_settings.thinking_depth);
        if (m_args.options.contains(QStringLiteral("depth")) && thinkingDepths().count(depth) == 0)
            throw UsageError{QStringLiteral("--depth is one of quick, standard, deep")};

        Match match;
        if (byEvent) {
            const auto found = api().lookupEvent(m_args.options.value(QStringLiteral("event")));
            if (!found)
                throw Failure{QStringLiteral("Couldn't find this fixture on ESPN.")};
            match = *found;
        } else {
            const auto [a, b] = vsQuery(m_args.positional.first());
            progress(QStringLiteral("Finding %1 vs %2…").arg(a, b));
            match = findMatchup(api(), a, b).first;
        }
        if (isMatchOver(match))
            throw Failure{
                QString::fromUtf8("This match has finished \xE2\x80\x94 there's nothing left to predict.")};

        const Predictor predictor = makePredictor();
        progress(QStringLiteral("Predicting %1…").arg(matchLabel(match)));
        auto [prediction, context] = predictMatch(api(), predictor, match, depth);
        HistoryStore store(historyDatabasePath());
        store.add(prediction);
        if (m_args.flags.contains(QStringLiteral("reasoning"))) {
            progress(QStringLiteral("Reasoning about %1…").arg(matchLabel(match)));
            prediction = predictor.predictReasoning(match, context, prediction, depth);
            store.update(prediction);
        }
        endProgress();
        if (m_args.json)
            printJson(QJsonObject{{QStringLiteral("prediction"), prediction.toJson()},
                                  {QStringLiteral("context"), context}});
        else
            printOut(predictionText(prediction));
    }

    void history()
    {
        expectPositional(0, 0);
        const int limit = intOption(QStringLiteral("limit"), DEFAULT_HISTORY_LIMIT);
        if (limit < 0)
            throw UsageError{QStringLiteral("--limit takes 0 (all) or more")};
        const QList<Prediction> all =
            HistoryStore(historyDatabasePath()).find({}, 0, limit == 0 ? -1 : limit);
        if (m_args.json) {
            QJsonArray array;
            for (const Prediction &p : all)
                array.append(p.toJson());
            printJson(array);
            return;
        }
        if (all.isEmpty()) {
            printOut(QStringLiteral("No predictions yet.\n"));
            return;
        }
        QList<QStringList> rows;
        for (const Prediction &p : all) {
            QString result = QStringLiteral("unchecked");
            if (const auto correct = p.wasCorrect())
                result = QStringLiteral("%1-%2 %3")
                             .arg(p.actual_home_score)
                             .arg(p.actual_away_score)
                             .arg(*correct ? QStringLiteral("right") : QStringLiteral("wrong"));
            rows.append(QStringList{p.created_at.left(16).replace(QLatin1Char('T'), QLatin1Char(' ')),
                                    p.match_label, p.outcome, p.scoreline,
                                    QString::number(p.confidence) + QLatin1Char('%'), result, p.id});
        }
        printOut(formatTable({QStringLiteral("Made"), QStringLiteral("Match"), QStringLiteral("Call"),
                              QStringLiteral("Score"), QStringLiteral("Conf"), QStringLiteral("Result"),
                              QStringLiteral("Id")},
                             rows));
    }

    void check()
    {
        expectPositional(0, 1);
        const QString only = m_args.positional.value(0);
        HistoryStore store(historyDatabasePath());
        QList<Prediction> todo;
        HistoryFilter unchecked;
        unchecked.result = HistoryFilter::Result::Unchecked;
        for (const Prediction &p : only.isEmpty() ? store.find(unchecked) : store.all()) {
            if (!only.isEmpty() ? p.id == only
                                : (p.actual_home_score < 0 || p.actual_away_score < 0) && p.isCheckable())
                todo.append(p);
        }
        if (!only.isEmpty() && todo.isEmpty())
            throw Failure{QStringLiteral("No stored prediction has the id %1.").arg(only)};

        // Checks run on workers a few at a time; each outcome is applied to
        // the history here, on this thread, one after the other.
        struct Outcome
        {
            Prediction prediction;
            QString error;
        };
        std::vector<Outcome> outcomes(size_t(todo.size()));
        QThreadPool pool;
        pool.setMaxThreadCount(PARALLEL_CHECKS);
        QSemaphore finished;
        const EspnApi &data = api();
        for (qsizetype i = 0; i < todo.size(); ++i) {
            pool.start([&, i] {
                try {
                    outcomes[size_t(i)].prediction = checkResult(data, todo.at(i));
                } catch (const ApiError &e) {
                    outcomes[size_t(i)].error = e.message();
                } catch (const std::exception &e) {
                    outcomes[size_t(i)].error = QString::fromUtf8(e.what());
                }
                finished.release();
            });
        }

        int correct = 0, wrong = 0, skipped = 0;
        QJsonArray results;
        QList<QStringList> rows;
        for (qsizetype i = 0; i < todo.size(); ++i) {
            progress(QStringLiteral("Checking %1 of %2…").arg(i + 1).arg(todo.size()));
            finished.acquire();
        }
        endProgress();
        for (qsizetype i = 0; i < todo.size(); ++i) {
            const Outcome &outcome = outcomes[size_t(i)];
            const Prediction &original = todo.at(i);
            QJsonObject result{{QStringLiteral("id"), original.id},
                               {QStringLiteral("match_label"), original.match_label}};
            if (outcome.error.isEmpty()) {
                store.update(outcome.prediction);
                const bool right = outcome.prediction.wasCorrect().value_or(false);
                right ? ++correct : ++wrong;
                result.insert(QStringLiteral("ok"), true);
                result.insert(QStringLiteral("correct"), right);
                rows.append(QStringList{original.match_label,
                                        QStringLiteral("%1-%2")
                                            .arg(outcome.prediction.actual_home_score)
                                            .arg(outcome.prediction.actual_away_score),
                                        right ? QStringLiteral("right") : QStringLiteral("wrong")});
            } else {
                ++skipped;
                result.insert(QStringLiteral("ok"), false);
                result.insert(QStringLiteral("message"), outcome.error);
                rows.append(QStringList{original.match_label, QString(), outcome.error});
            }
            results.append(result);
        }

        if (m_args.json) {
            printJson(QJsonObject{{QStringLiteral("checked"), correct + wrong},
                                  {QStringLiteral("correct"), correct},
                                  {QStringLiteral("wrong"), wrong},
                                  {QStringLiteral("skipped"), skipped},
                                  {QStringLiteral("results"), results}});
            return;
        }
        if (!rows.isEmpty())
            printOut(formatTable({QStringLiteral("Match"), QStringLiteral("Final"), QStringLiteral("Result")},
                                 rows) +
                     QLatin1Char('\n'));
        const QString summary = checkAllSummary(correct, wrong, skipped);
        printOut((summary.isEmpty() ? QStringLiteral("Nothing to check.") : summary) + QLatin1Char('\n'));
    }

    void stats()
    {
        expectPositional(0, 0);
        const AccuracyStats s = computeHistoryStats(HistoryStore(historyDatabasePath()));
        if (m_args.json) {
            QJsonArray leagues;
            for (const LeagueRecord &r : s.leagues)
                leagues.append(QJsonObject{{QStringLiteral("league"), r.league},
                                           {QStringLiteral("correct"), r.correct},
                                           {QStringLiteral("checked"), r.checked}});
            QJsonObject reply{{QStringLiteral("total"), s.total},
                              {QStringLiteral("checked"), s.checked},
                              {QStringLiteral("correct"), s.correct},
                              {QStringLiteral("currentStreak"), s.currentStreak},
                              {QStringLiteral("bestStreak"), s.bestStreak},
                              {QStringLiteral("confidentChecked"), s.confidentChecked},
                              {QStringLiteral("confidentCorrect"), s.confidentCorrect},
                              {QStringLiteral("leagues"), leagues}};
            const QJsonObject scoring = scoringJson(s.scoring);
            for (auto it = scoring.begin(); it != scoring.end(); ++it)
                reply.insert(it.key(), it.value());
            printJson(reply);
            return;
        }
        auto percent = [](int part, int whole) {
            return whole > 0 ? QStringLiteral("%1%").arg(qRound(100.0 * part / whole)) : QStringLiteral("–");
        };
        QString text;
        text += QStringLiteral("Predictions:     %1 (%2 checked)\n").arg(s.total).arg(s.checked);
        text += QStringLiteral("Accuracy:        %1 (%2 of %3)\n")
                    .arg(percent(s.correct, s.checked))
                    .arg(s.correct)
                    .arg(s.checked);
        text += QStringLiteral("Current streak:  %1\n").arg(s.currentStreak);
        text += QStringLiteral("Best streak:     %1\n").arg(s.bestStreak);
        if (s.confidentChecked > 0)
            text += QStringLiteral("Confident calls: %1 (%2 of %3 at %4%+)\n")
                        .arg(percent(s.confidentCorrect, s.confidentChecked))
                        .arg(s.confidentCorrect)
                        .arg(s.confidentChecked)
                        .arg(CONFIDENT_THRESHOLD);
        printOut(text);
        if (s.checked > 0)
            printOut(QLatin1Char('\n') + scoringText(s.scoring));
        if (!s.leagues.isEmpty()) {
            QList<QStringList> rows;
            for (const LeagueRecord &r : s.leagues)
                rows.append(QStringList{r.league, QStringLiteral("%1/%2").arg(r.correct).arg(r.checked),
                                        percent(r.correct, r.checked)});
            printOut(QLatin1Char('\n') + formatTable({QStringLiteral("League"), QStringLiteral("Right"),
                                                      QStringLiteral("Accuracy")},
                                                     rows));
        }
    }

    void exportFile()
    {
        expectPositional(1, 1);
        const QString path = m_args.positional.first();
        const HistoryStore store(historyDatabasePath());
        const QString error = exportHistory(store, path);
        if (!error.isEmpty())
            throw Failure{error};
        const int n = store.count();
        if (m_args.json)
            printJson(QJsonObject{{QStringLiteral("exported"), n}, {QStringLiteral("file"), path}});
        else
            printOut(QStringLiteral("Exported %1 prediction%2 to %3\n")
                         .arg(n)
                         .arg(n == 1 ? QString() : QStringLiteral("s"), path));
    }

    void importFile()
    {
        expectPositional(1, 1);
        HistoryStore store(historyDatabasePath());
        HistoryImport result;
        const QString error = importHistory(store, m_args.positional.first(), &result);
        if (!error.isEmpty())
            throw Failure{error};
        if (m_args.json)
            printJson(QJsonObject{{QStringLiteral("added"), result.added},
                                  {QStringLiteral("updated"), result.updated},
                                  {QStringLiteral("skipped"), result.skipped}});
        else
            printOut(QStringLiteral("Imported %1 new, %2 updated, %3 unreadable entries skipped\n")
                         .arg(result.added)
                         .arg(result.updated)
                         .arg(result.skipped));
    }

    Predictor makePredictor()
    {
        resolveApiKey(m_settings, KEYSTORE_TIMEOUT_MS);
        return Predictor(m_settings.openai_api_key, m_settings.openai_model, m_relay.baseUrl, m_relay.token,
                         m_settings.openai_base_url);
    }

    void config()
    {
        if (m_args.positional.value(0) == QLatin1String("set")) {
            expectPositional(3, 3);
            setConfig(m_args.positional.at(1), m_args.positional.at(2));
            return;
        }
        expectPositional(0, 0);
        resolveApiKey(m_settings, KEYSTORE_TIMEOUT_MS);
        const QString key = m_settings.openai_api_key;
        // Enough to tell two keys apart, never enough to use one.
        const QString shown = key.isEmpty()     ? QString()
                              : key.size() < 12 ? QStringLiteral("…")
                                                : key.left(3) + QStringLiteral("…") + key.right(4);
        static const QMap<ApiKeySource, QString> sources = {
            {ApiKeySource::None, QStringLiteral("none")},
            {ApiKeySource::Environment, QStringLiteral("environment")},
            {ApiKeySource::Keychain, QStringLiteral("keychain")},
            {ApiKeySource::File, QStringLiteral("file")}};
        const QString source = sources.value(m_settings.api_key_source);
        const QString address = Predictor::openAiBase(m_settings.openai_base_url);
        if (m_args.json) {
            printJson(QJsonObject{{QStringLiteral("openai_api_key"), shown},
                                  {QStringLiteral("api_key_source"), source},
                                  {QStringLiteral("openai_base_url"), m_settings.openai_base_url},
                                  {QStringLiteral("service_address"), address},
                                  {QStringLiteral("openai_model"), m_settings.openai_model},
                                  {QStringLiteral("thinking_depth"), m_settings.thinking_depth}});
            return;
        }
        printOut(formatTable({QStringLiteral("Setting"), QStringLiteral("Value")},
                             {{QStringLiteral("openai_api_key"),
                               key.isEmpty() ? QStringLiteral("(none)")
                                             : shown + QStringLiteral(" (") + source + QLatin1Char(')')},
                              {QStringLiteral("service address"), address},
                              {QStringLiteral("openai_model"), m_settings.openai_model},
                              {QStringLiteral("thinking_depth"), m_settings.thinking_depth}}));
    }

    void setConfig(const QString &key, const QString &value)
    {
        if (key == QLatin1String("openai_api_key")) {
            if (value != QLatin1String("-"))
                throw UsageError{
                    QStringLiteral("the key is read from standard input: config set openai_api_key -")};
            QFile input;
            input.open(stdin, QIODevice::ReadOnly);
            const QString typed = QString::fromUtf8(input.readAll()).trimmed();
            if (typed.isEmpty())
                throw Failure{QStringLiteral("No key on standard input.")};
            const bool fromEnvironment = m_settings.api_key_source == ApiKeySource::Environment;
            if (storeApiKey(m_settings, typed, KEYSTORE_TIMEOUT_MS) == ApiKeySource::Keychain)
                printOut(QStringLiteral("Saved the key in the system keychain.\n"));
            else
                printOut(QString::fromUtf8(
                    "No system keychain found \xE2\x80\x94 the key is kept in settings.json, "
                    "readable by you only.\n"));
            if (fromEnvironment)
                printErr(QStringLiteral("OPENAI_API_KEY is set and is used instead while it is.\n"));
            return;
        }
        if (key == QLatin1String("openai_model")) {
            if (value.trimmed().isEmpty())
                throw Failure{QStringLiteral("The model name is empty.")};
            m_settings.openai_model = value.trimmed();
        } else if (key == QLatin1String("openai_base_url")) {
            const QString problem = Predictor::serviceAddressProblem(value);
            if (!problem.isEmpty())
                throw Failure{problem};
            m_settings.openai_base_url = value.trimmed();
        } else if (key == QLatin1String("thinking_depth")) {
            if (thinkingDepths().count(value) == 0)
                throw Failure{QStringLiteral("thinking_depth is one of quick, standard, deep.")};
            m_settings.thinking_depth = value;
        } else {
            throw UsageError{
                QStringLiteral("config set takes openai_model, openai_base_url, thinking_depth or "
                               "openai_api_key")};
        }
        if (!m_settings.save())
            throw Failure{QStringLiteral("Could not write %1.").arg(settingsFilePath())};
    }

    void models()
    {
        expectPositional(0, 0);
        const QStringList ids = makePredictor().listModels();
        if (m_args.json)
            printJson(QJsonArray::fromStringList(ids));
        else
            printOut(ids.isEmpty() ? QStringLiteral("The service lists no models.\n")
                                   : ids.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    }

    void printMatches(const std::vector<Match> &matches) const
    {
        if (m_args.json)
            printJson(matchesJson(matches));
        else
            printOut(matchesTable(matches));
    }

    CliArgs m_args;
    Settings m_settings;
    RelayConfig m_relay = RelayConfig::builtIn();
    std::unique_ptr<EspnApi> m_api;
};

} // namespace

int runCli(const QStringList &arguments)
{
    setApplicationIdentity();
    // Qt's own warnings go to the shared log, not into the terminal output.
    installLogMessageHandler();

    const CliArgs args =
        CliArgs::parse(arguments, {QStringLiteral("days"), QStringLiteral("limit"), QStringLiteral("season"),
                                   QStringLiteral("depth"), QStringLiteral("event")});
    if (args.version) {
        printOut(QStringLiteral("tolvo-cli ") + APP_VERSION + QLatin1Char('\n'));
        return 0;
    }
    if (args.help) {
        printOut(QString::fromLatin1(USAGE));
        return 0;
    }
    if (args.command.isEmpty()) {
        printErr(QString::fromLatin1(USAGE));
        return 2;
    }
    try {
        return Cli(args).run();
    } catch (const UsageError &e) {
        endProgress();
        printErr(QStringLiteral("tolvo-cli: ") + e.message + QStringLiteral("\n\n") +
                 QString::fromLatin1(USAGE));
        return 2;
    } catch (const Failure &e) {
        endProgress();
        printErr(e.message + QLatin1Char('\n'));
        return 1;
    } catch (const ApiError &e) {
        endProgress();
        printErr(e.message() + QLatin1Char('\n'));
        return 1;
    } catch (const std::runtime_error &e) {
        // PredictorError and any other error that carries a user message.
        endProgress();
        printErr(QString::fromUtf8(e.what()) + QLatin1Char('\n'));
        return 1;
    }
}
