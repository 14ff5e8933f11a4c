#include "ModelReplies.h"

#include "LeagueTable.h"
#include "StableRandom.h"

#include "data/EspnApi.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The block of one team's recent form: from its header to the next blank line.
FixtureContext::Form formOf(const QString &text, const QString &team)
{
    FixtureContext::Form form;
    if (team.isEmpty())
        return form;
    const QString header = team + QStringLiteral(" recent form");
    qsizetype start = text.startsWith(header) ? 0 : text.indexOf(QLatin1Char('\n') + header);
    if (start < 0)
        return form;
    qsizetype end = text.indexOf(QStringLiteral("\n\n"), start + 1);
    const QString block = text.mid(start, end < 0 ? -1 : end - start);
    static const QRegularExpression line(
        QStringLiteral("Form \\(most recent last\\): ([WDL]+) \\S+ (\\d+) scored / (\\d+) conceded"));
    const QRegularExpressionMatch match = line.match(block);
    if (match.hasMatch()) {
        form.known = true;
        form.letters = match.captured(1);
        form.scored = match.captured(2).toInt();
        form.conceded = match.captured(3).toInt();
    }
    return form;
}

struct Rating
{
    double pointsPerGame = 1.35;
    double goalDifference = 0.0;
    int games = 0;
};

Rating ratingOf(const FixtureContext::Form &form)
{
    Rating rating;
    if (!form.known || form.letters.isEmpty())
        return rating;
    rating.games = int(form.letters.size());
    rating.pointsPerGame =
        double(3 * form.letters.count(QLatin1Char('W')) + form.letters.count(QLatin1Char('D'))) /
        rating.games;
    rating.goalDifference = double(form.scored - form.conceded) / rating.games;
    return rating;
}

// How much the home side is expected to be better, in a few tenths of a
// goal: form, goals, home advantage, meetings and a fixed touch of taste.
double edgeOf(const FixtureContext &context, std::uint64_t seed)
{
    const Rating home = ratingOf(context.homeForm);
    const Rating away = ratingOf(context.awayForm);
    auto taste = [&](const QString &team) {
        return double(StableRandom::hash(team, seed) % 25) / 100.0 - 0.12;
    };
    double edge = 0.55 * (home.pointsPerGame - away.pointsPerGame) +
                  0.3 * (home.goalDifference - away.goalDifference) + 0.3 + taste(context.home) -
                  taste(context.away);
    if (context.meetings > 0)
        edge += 0.08 * (context.homeWins - context.awayWins);
    return std::clamp(edge, -2.5, 2.5);
}

QString outcomeWords(const FixtureContext &context, const QString &outcome)
{
    if (outcome == QLatin1String("HOME"))
        return QStringLiteral("a home win for ") + context.home;
    if (outcome == QLatin1String("AWAY"))
        return QStringLiteral("an away win for ") + context.away;
    return QStringLiteral("a draw between %1 and %2").arg(context.home, context.away);
}

QJsonObject completion(const QString &model, const QString &content, int promptChars)
{
    const int promptTokens = std::max(1, (promptChars + 3) / 4);
    const int completionTokens = std::max(1, int(content.size() + 3) / 4);
    const QString id = QStringLiteral("chatcmpl-devstub-%1")
                           .arg(StableRandom::hash(content) % 100000000000ULL, 11, 10, QLatin1Char('0'));
    return QJsonObject{
        {QStringLiteral("id"), id},
        {QStringLiteral("object"), QStringLiteral("chat.completion")},
        {QStringLiteral("created"), QDateTime::currentSecsSinceEpoch()},
        {QStringLiteral("model"), model},
        {QStringLiteral("choices"),
         QJsonArray{QJsonObject{
             {QStringLiteral("index"), 0},
             {QStringLiteral("message"), QJsonObject{{QStringLiteral("role"), QStringLiteral("assistant")},
                                                     {QStringLiteral("content"), content}}},
             {QStringLiteral("logprobs"), QJsonValue()},
             {QStringLiteral("finish_reason"), QStringLiteral("stop")}}}},
        {QStringLiteral("usage"),
         QJsonObject{{QStringLiteral("prompt_tokens"), promptTokens},
                     {QStringLiteral("completion_tokens"), completionTokens},
                     {QStringLiteral("total_tokens"), promptTokens + completionTokens}}},
        {QStringLiteral("system_fingerprint"), QStringLiteral("fp_devstub")},
    };
}

JsonReply openAiError(int status, const QString &message)
{
    return {status,
            QJsonObject{{QStringLiteral("error"),
                         QJsonObject{{QStringLiteral("message"), message},
                                     {QStringLiteral("type"), QStringLiteral("invalid_request_error")},
                                     {QStringLiteral("param"), QJsonValue()},
                                     {QStringLiteral("code"), QJsonValue()}}}}};
}

bool containsWord(const QString &haystack, const QString &needle)
{
    if (needle.isEmpty())
        return false;
    const QRegularExpression word(QStringLiteral("(^|[^\\w])") + QRegularExpression::escape(needle) +
                                  QStringLiteral("($|[^\\w])"));
    return word.match(haystack).hasMatch();
}

} // namespace

FixtureContext readFixtureContext(const QString &text)
{
    FixtureContext context;
    static const QRegularExpression fixture(QStringLiteral("^Fixture: (.+) \\(home\\) vs (.+) \\(away\\)$"),
                                            QRegularExpression::MultilineOption);
    static const QRegularExpression league(QStringLiteral("^League: (.+)$"),
                                           QRegularExpression::MultilineOption);
    static const QRegularExpression call(
        QStringLiteral("Your call: (\\w+), predicted scoreline (\\S+), (\\d+)% confidence"));
    static const QRegularExpression meeting(
        QStringLiteral("^  \\d{4}-\\d{2}-\\d{2}: (.+) (\\d+)-(\\d+) (.+)$"));

    if (const QRegularExpressionMatch m = fixture.match(text); m.hasMatch()) {
        context.home = m.captured(1).trimmed();
        context.away = m.captured(2).trimmed();
    }
    if (const QRegularExpressionMatch m = league.match(text); m.hasMatch())
        context.league = m.captured(1).trimmed();
    context.homeForm = formOf(text, context.home);
    context.awayForm = formOf(text, context.away);

    const qsizetype h2h = text.indexOf(QStringLiteral("Head-to-head history"));
    if (h2h >= 0) {
        const QStringList lines = text.mid(h2h).split(QLatin1Char('\n'));
        for (const QString &line : lines.mid(1)) {
            const QRegularExpressionMatch m = meeting.match(line);
            if (!m.hasMatch())
                break;
            const int first = m.captured(2).toInt();
            const int second = m.captured(3).toInt();
            ++context.meetings;
            if (first == second)
                continue;
            const QString winner = first > second ? m.captured(1) : m.captured(4);
            if (winner == context.home)
                ++context.homeWins;
            else if (winner == context.away)
                ++context.awayWins;
        }
    }
    if (const QRegularExpressionMatch m = call.match(text); m.hasMatch()) {
        context.callOutcome = m.captured(1).toUpper();
        context.callScoreline = m.captured(2);
        context.callConfidence = m.captured(3).toInt();
    }
    return context;
}

QuickCall quickCall(const FixtureContext &context, std::uint64_t seed)
{
    const double edge = edgeOf(context, seed);
    QuickCall call;
    call.drawPct = std::clamp(int(std::lround(36.0 - 12.0 * std::fabs(edge))), 18, 36);
    const double homeShare = 1.0 / (1.0 + std::exp(-1.5 * edge));
    call.homeWinPct = int(std::lround((100 - call.drawPct) * homeShare));
    call.awayWinPct = 100 - call.drawPct - call.homeWinPct;

    if (call.drawPct >= call.homeWinPct && call.drawPct >= call.awayWinPct)
        call.outcome = QStringLiteral("DRAW");
    else
        call.outcome = call.homeWinPct >= call.awayWinPct ? QStringLiteral("HOME") : QStringLiteral("AWAY");

    const double homeGoals = std::clamp(1.3 + 0.5 * edge, 0.2, 3.8);
    const double awayGoals = std::clamp(1.0 - 0.45 * edge, 0.2, 3.8);
    int home = int(std::lround(homeGoals));
    int away = int(std::lround(awayGoals));
    if (call.outcome == QLatin1String("HOME") && home <= away)
        home = away + 1;
    else if (call.outcome == QLatin1String("AWAY") && away <= home)
        away = home + 1;
    else if (call.outcome == QLatin1String("DRAW"))
        home = away = std::max(0, int(std::lround((homeGoals + awayGoals) / 2.0 - 0.35)));
    call.scoreline = QStringLiteral("%1-%2").arg(std::min(home, 5)).arg(std::min(away, 5));

    int sorted[] = {call.homeWinPct, call.drawPct, call.awayWinPct};
    std::sort(std::begin(sorted), std::end(sorted));
    const int margin = sorted[2] - sorted[1];
    const int games = ratingOf(context.homeForm).games + ratingOf(context.awayForm).games;
    int confidence = 36 + int(std::lround(margin * 0.7)) + std::min(6, games / 2);
    if (!context.homeForm.known || !context.awayForm.known)
        confidence -= 8;
    call.confidence = std::clamp(confidence, 35, 80);
    return call;
}

Reasoning reasoningFor(const FixtureContext &context, int factorCount)
{
    const QString outcome = context.callOutcome.isEmpty() ? QStringLiteral("DRAW") : context.callOutcome;
    const QString home = context.home.isEmpty() ? QStringLiteral("The home side") : context.home;
    const QString away = context.away.isEmpty() ? QStringLiteral("the visitors") : context.away;

    Reasoning reasoning;
    QString opening = outcomeWords(context, outcome);
    opening[0] = opening[0].toUpper();
    if (!context.callScoreline.isEmpty())
        opening += QStringLiteral(", %1").arg(context.callScoreline);
    if (context.callConfidence >= 0)
        opening += QStringLiteral(" at %1% confidence").arg(context.callConfidence);
    opening += QLatin1Char('.');

    QString formSentence;
    if (context.homeForm.known && context.awayForm.known) {
        formSentence =
            QStringLiteral(
                " %1 come in on %2 (%3 scored, %4 conceded) and %5 on %6 (%7 scored, %8 conceded).")
                .arg(home, context.homeForm.letters)
                .arg(context.homeForm.scored)
                .arg(context.homeForm.conceded)
                .arg(away, context.awayForm.letters)
                .arg(context.awayForm.scored)
                .arg(context.awayForm.conceded);
    } else {
        formSentence = QStringLiteral(
            " Recent results are thin, so the call leans on home advantage and stays cautious.");
    }

    QString closing;
    if (outcome == QLatin1String("HOME"))
        closing = QStringLiteral(" Home advantage and the better run of results point the same way.");
    else if (outcome == QLatin1String("AWAY"))
        closing = QStringLiteral(" %1's form outweighs the usual home edge.").arg(away);
    else
        closing = QStringLiteral(
            " Neither side has done enough to be trusted, which points to a tight, cagey game.");
    reasoning.summary = opening + formSentence + closing;

    const QStringList factors = {
        context.homeForm.known ? QStringLiteral("%1 form %2 (%3-%4 goals)")
                                     .arg(home, context.homeForm.letters)
                                     .arg(context.homeForm.scored)
                                     .arg(context.homeForm.conceded)
                               : QStringLiteral("No recent results for %1").arg(home),
        context.awayForm.known ? QStringLiteral("%1 form %2 (%3-%4 goals)")
                                     .arg(away, context.awayForm.letters)
                                     .arg(context.awayForm.scored)
                                     .arg(context.awayForm.conceded)
                               : QStringLiteral("No recent results for %1").arg(away),
        QStringLiteral("Home advantage for %1").arg(home),
        context.meetings > 0 ? QStringLiteral("Head-to-head: %1 won %2 of the last %3 meetings, %4 won %5")
                                   .arg(home)
                                   .arg(context.homeWins)
                                   .arg(context.meetings)
                                   .arg(away)
                                   .arg(context.awayWins)
                             : QStringLiteral("No recent head-to-head meetings to lean on"),
        outcome == QLatin1String("DRAW")
            ? QStringLiteral("Low-scoring games are the norm when sides are this close")
            : QStringLiteral("Goal difference favours the side called to win"),
        QStringLiteral("Confidence kept honest by the amount of data"),
    };
    for (int i = 0; i < std::max(factorCount, 1); ++i)
        reasoning.keyFactors.append(
            i < factors.size() ? factors.at(i) : QStringLiteral("Squad depth over a busy run of games"));
    return reasoning;
}

ModelReplies::ModelReplies(const Replay &replay, std::uint64_t seed)
    : m_replay(replay)
    , m_seed(seed)
{}

QString ModelReplies::teamLine(const RecordedTeam &team, const QDateTime &now) const
{
    const int season = m_replay.currentSeason(now.date());
    const std::vector<TableRow> table = leagueTable(m_replay, team.league, season, now);
    const QString leagueName = EspnApi::leagueNameFor(team.league);
    QString line;
    for (size_t i = 0; i < table.size(); ++i) {
        const TableRow &row = table[i];
        if (row.teamId != team.id || row.played == 0)
            continue;
        line = QStringLiteral(
                   "%1 are %2 in the %3 table with %4 points from %5 games (%6 won, %7 drawn, %8 lost), "
                   "and their last results read %9.")
                   .arg(team.displayName, ordinal(int(i) + 1), leagueName)
                   .arg(row.points())
                   .arg(row.played)
                   .arg(row.wins)
                   .arg(row.draws)
                   .arg(row.losses)
                   .arg(row.form);
    }
    if (line.isEmpty())
        line = QStringLiteral("%1 have not played a league game yet this season.").arg(team.displayName);

    const std::vector<EventView> upcoming = m_replay.select(
        [&](const RecordedEvent &e) { return e.homeId == team.id || e.awayId == team.id; }, now);
    for (const EventView &view : upcoming) {
        if (view.state != QLatin1String("pre"))
            continue;
        const RecordedTeam *home = m_replay.recording().team(view.event->homeId);
        const RecordedTeam *away = m_replay.recording().team(view.event->awayId);
        const QLocale english(QLocale::English, QLocale::UnitedKingdom);
        line += QStringLiteral(" Next up: %1 vs %2 on %3.")
                    .arg(home->displayName, away->displayName,
                         english.toString(view.date, QStringLiteral("ddd d MMMM")));
        break;
    }
    return line;
}

QString ModelReplies::chatAnswer(const QString &question, const QDateTime &now) const
{
    const QString folded = EspnReplies::fold(question);

    // Clubs named in the question, longest names first so "Manchester City"
    // wins over "City".
    std::vector<const RecordedTeam *> teams;
    for (const RecordedTeam &team : m_replay.recording().teams)
        teams.push_back(&team);
    std::sort(teams.begin(), teams.end(), [](const RecordedTeam *a, const RecordedTeam *b) {
        return std::make_pair(-a->displayName.size(), a->id) < std::make_pair(-b->displayName.size(), b->id);
    });
    std::vector<const RecordedTeam *> named;
    QString rest = folded;
    for (const RecordedTeam *team : teams) {
        for (const QString &name : {team->displayName, team->shortDisplayName}) {
            const QString key = EspnReplies::fold(name);
            if (key.size() >= 4 && containsWord(rest, key)) {
                named.push_back(team);
                rest.replace(key, QStringLiteral(" "));
                break;
            }
        }
        if (named.size() == 2)
            break;
    }

    if (!named.empty()) {
        QString answer;
        for (const RecordedTeam *team : named)
            answer += (answer.isEmpty() ? QString() : QStringLiteral(" ")) + teamLine(*team, now);
        if (folded.contains(QLatin1String("win")) || folded.contains(QLatin1String("predict")) ||
            folded.contains(QLatin1String("chance")) || folded.contains(QLatin1String("beat")))
            answer += QStringLiteral(" For a proper call on a fixture, press Predict with AI on its card.");
        return answer;
    }

    struct Topic
    {
        const char *keyword;
        const char *answer;
    };
    static const Topic topics[] = {
        {"offside",
         "Offside is judged the moment the ball is played: an attacker is offside when any part they can "
         "score with is beyond both the ball and the second-last defender in the opponents' half. Level "
         "counts as onside, and you can't be offside from a goal kick, throw-in or corner."},
        {"var",
         "VAR only steps in for clear and obvious errors in four situations: goals, penalty decisions, "
         "straight red cards and mistaken identity. The referee still makes the final call, often after a "
         "look at the pitchside monitor."},
        {"penalt",
         "A penalty is given for a direct free-kick offence inside the box. The keeper must keep part of "
         "a foot on the line until the kick is taken, and roughly three in four penalties are scored."},
        {"formation",
         "Formations are only a starting shape: a 4-3-3 often defends as a 4-5-1 and attacks as a "
         "3-2-5. What matters more is how a side presses, where it wins the ball back and how quickly "
         "it moves it forward."},
        {"tactic",
         "Most modern tactics come down to space: pressing high to win the ball near goal, or sitting "
         "deep and countering into the room behind. Which works depends on the players you have."},
        {"transfer",
         "I only see fixtures, results and tables here, not transfer news, so I can't tell you who is "
         "moving where. Form and results I can help with."},
        {"hello",
         "Hi! Ask me about any club in the leagues Tolvo follows and I'll tell you where they stand, how "
         "they've been playing and who they face next."},
        {"hi",
         "Hi! Ask me about any club in the leagues Tolvo follows and I'll tell you where they stand, how "
         "they've been playing and who they face next."},
        {"world cup", "The World Cup is the one everyone waits for: national sides, a group stage and then "
                      "knockout football where one bad afternoon ends the dream."},
        {"champions league", "The Champions League brings Europe's best club sides together; the new league "
                             "phase means more games between the big names before the knockouts."},
    };
    for (const Topic &topic : topics) {
        if (containsWord(folded, QLatin1String(topic.keyword)) ||
            (std::strlen(topic.keyword) > 4 && folded.contains(QLatin1String(topic.keyword))))
            return QString::fromUtf8(topic.answer);
    }

    QString subject = question.simplified();
    while (subject.endsWith(QLatin1Char('?')) || subject.endsWith(QLatin1Char('.')) ||
           subject.endsWith(QLatin1Char('!')))
        subject.chop(1);
    if (subject.size() > 60)
        subject = subject.left(57) + QStringLiteral("...");
    if (subject.isEmpty())
        return QStringLiteral("Ask me anything about football: a club, a rule or a fixture coming up.");
    return QStringLiteral(
               "Good question about \"%1\". Football rarely gives a neat answer: form, home advantage "
               "and a bit of luck decide most matches. Name a club from the leagues Tolvo follows and "
               "I'll tell you how they are doing.")
        .arg(subject);
}

JsonReply ModelReplies::chatCompletion(const QByteArray &body, const QDateTime &now) const
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (!doc.isObject())
        return openAiError(400, QStringLiteral("We could not parse the JSON body of your request."));
    const QJsonObject request = doc.object();
    const QJsonArray messages = request.value(QLatin1String("messages")).toArray();
    if (messages.isEmpty())
        return openAiError(400, QStringLiteral("'messages' is a required property"));

    QString system;
    QString user;
    int promptChars = 0;
    for (const QJsonValue &value : messages) {
        const QJsonObject message = value.toObject();
        const QString role = message.value(QLatin1String("role")).toString();
        const QString content = message.value(QLatin1String("content")).toString();
        promptChars += int(content.size());
        if (role == QLatin1String("system") && system.isEmpty())
            system = content;
        else if (role == QLatin1String("user"))
            user = content;
    }
    const QString model = request.value(QLatin1String("model")).toString(QStringLiteral("gpt-4o-mini"));
    const bool jsonMode =
        request.value(QLatin1String("response_format")).toObject().value(QLatin1String("type")).toString() ==
        QLatin1String("json_object");

    QString content;
    if (jsonMode && system.contains(QLatin1String("key_factors"))) {
        const int factors = int(system.count(QStringLiteral("<short factor>")));
        const Reasoning reasoning = reasoningFor(readFixtureContext(user), factors > 0 ? factors : 3);
        content =
            QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("summary"), reasoning.summary},
                                                        {QStringLiteral("key_factors"),
                                                         QJsonArray::fromStringList(reasoning.keyFactors)}})
                                  .toJson(QJsonDocument::Compact));
    } else if (jsonMode) {
        const QuickCall call = quickCall(readFixtureContext(user), m_seed);
        content =
            QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("outcome"), call.outcome},
                                                        {QStringLiteral("home_win_pct"), call.homeWinPct},
                                                        {QStringLiteral("draw_pct"), call.drawPct},
                                                        {QStringLiteral("away_win_pct"), call.awayWinPct},
                                                        {QStringLiteral("scoreline"), call.scoreline},
                                                        {QStringLiteral("confidence"), call.confidence}})
                                  .toJson(QJsonDocument::Compact));
    } else {
        content = chatAnswer(user, now);
    }
    return {200, completion(model, content, promptChars)};
}
