#include "LivePage.h"

#include "app/League.h"
#include "data/FixtureQueries.h"
#include "ui/app/AppContext.h"
#include "ui/cards/CardActions.h"
#include "ui/cards/CrestLoader.h"
#include "ui/cards/MatchCard.h"
#include "ui/cards/MatchListView.h"
#include "ui/common/BatchRunner.h"
#include "ui/common/ComboBox.h"
#include "ui/common/GoalNotifier.h"
#include "ui/common/Icons.h"
#include "ui/common/Theme.h"
#include "ui/common/WidgetHelpers.h"

#include <QDate>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int MIN_REFRESH_SECONDS = 15;
constexpr int PUMP_INTERVAL_MS = 600;

bool kept(const Match &m)
{
    // Not started, or in play; a finished fixture has nothing left to show.
    return m.state != QLatin1String("post") &&
           (m.home_score.isEmpty() || m.away_score.isEmpty() || m.state == QLatin1String("in"));
}

} // namespace

LivePage::LivePage(AppContext *context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
    , m_filter(ALL_LEAGUES)
{
    setObjectName(QStringLiteral("LivePage"));
    const int period = std::max(m_context->settings.live_refresh_seconds, MIN_REFRESH_SECONDS);
    m_periodText = refreshPeriodText(period);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(14);

    auto *title = new QLabel(QStringLiteral("\u25CF Live & Today"), this);
    title->setObjectName(QStringLiteral("SectionTitle"));
    title->setTextFormat(Qt::PlainText);
    layout->addWidget(title);
    m_status = new QLabel(QStringLiteral("Today's fixtures, auto-refreshing ") + m_periodText, this);
    m_status->setObjectName(QStringLiteral("Muted"));
    m_status->setTextFormat(Qt::PlainText);
    layout->addWidget(m_status);

    auto *row = new QHBoxLayout;
    row->setSpacing(10);
    m_leagueBox = new ComboBox(this);
    m_leagueBox->setObjectName(QStringLiteral("LeagueBox"));
    m_leagueBox->setAccessibleName(QStringLiteral("League"));
    m_leagueBox->setCursor(Qt::PointingHandCursor);
    m_leagueBox->addItem(QStringLiteral("All leagues"), ALL_LEAGUES);
    for (const League &league : defaultLeagues())
        m_leagueBox->addItem(league.name, league.slug);
    m_leagueBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    row->addWidget(m_leagueBox);

    m_predictAll = new QPushButton(QStringLiteral("  Predict all"), this);
    m_predictAll->setObjectName(QStringLiteral("PrimaryButton"));
    m_predictAll->setIcon(faIcon(QStringLiteral("wand-magic-sparkles"), Qt::white, 14));
    m_predictAll->setIconSize(QSize(14, 14));
    m_predictAll->setCursor(Qt::PointingHandCursor);
    m_predictAll->setToolTip(QStringLiteral("Predict every fixture shown here at once"));
    row->addWidget(m_predictAll);

    m_refreshButton = new QPushButton(this);
    m_refreshButton->setObjectName(QStringLiteral("IconButton"));
    m_refreshButton->setIcon(faIcon(QStringLiteral("rotate"), QColor(ICON_MUTED), 15));
    m_refreshButton->setIconSize(QSize(15, 15));
    m_refreshButton->setCursor(Qt::PointingHandCursor);
    m_refreshButton->setToolTip(QStringLiteral("Refresh now"));
    m_refreshButton->setAccessibleName(QStringLiteral("Refresh now"));
    row->addWidget(m_refreshButton);
    row->addStretch(1);
    layout->addLayout(row);

    m_list = new MatchListView(this);
    layout->addWidget(m_list, 1);

    m_refreshTimer = new QTimer(this);
    m_predictRunner =
        new BatchRunner(m_predictAll, QStringLiteral("  Predicting %1\u2026"), PUMP_INTERVAL_MS, this);

    connect(m_leagueBox, qOverload<int>(&QComboBox::currentIndexChanged), this, &LivePage::onLeagueChosen);
    connect(m_predictAll, &QPushButton::clicked, this, &LivePage::predictAll);
    connect(m_refreshButton, &QPushButton::clicked, this, [this]() {
        m_context->play(QStringLiteral("refresh"));
        refresh();
    });
    connect(m_refreshTimer, &QTimer::timeout, this, &LivePage::autoRefresh);
    m_refreshTimer->start(period * 1000);
    m_notifier = new GoalNotifier(this);
}

QString LivePage::refreshPeriodText(int seconds)
{
    if (seconds == 60)
        return QStringLiteral("every minute");
    if (seconds % 60 == 0)
        return QStringLiteral("every %1 minutes").arg(seconds / 60);
    return QStringLiteral("every %1 seconds").arg(seconds);
}

void LivePage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Wide enough for the busy text, measured once the window's style sheet
    // has given the button its font.
    fitButtonToText(m_predictAll, QStringLiteral("  Predicting 40\u2026"));
    // A window restored from the taskbar shows its pages again; that is not
    // the user coming to this page, and must not wipe the cards.
    if (!event->spontaneous())
        refresh();
}

void LivePage::onLeagueChosen(int index)
{
    const QString slug = m_leagueBox->itemData(index).toString();
    if (slug.isEmpty())
        return;
    m_context->play(QStringLiteral("click"));
    m_filter = slug;
    refresh();
}

void LivePage::autoRefresh()
{
    // Never wipe a card that is being predicted. Nor start over a fetch still
    // running: every scoreboard is read afresh, and a slow service would
    // otherwise never finish one.
    if (m_predictRunner->pending() > 0 || (m_fetching != 0 && m_fetching == m_generation))
        return;
    const std::vector<MatchCard *> cards = m_list->cards();
    if (std::any_of(cards.begin(), cards.end(), [](const MatchCard *card) { return card->isBusy(); }))
        return;
    refresh();
}

void LivePage::refresh()
{
    if (isVisible())
        m_list->setMessage(QStringLiteral("Checking today's fixtures\u2026"));
    const int generation = ++m_generation;
    m_fetching = generation;
    const QString filter = m_filter;
    AppContext *context = m_context;
    QPointer<LivePage> self(this);
    // The work holds no pointer to the page: it may outlive it. Scores change
    // by the minute: the cache, meant for fixture lists, is bypassed, so a
    // goal shows within one refresh period.
    m_context->runAsync<std::vector<Match>>(
        [context, filter]() { return fetchTodayMatches(context->espn, filter, QDate::currentDate(), true); },
        [self, generation](std::vector<Match> matches) {
            if (self)
                self->showMatches(matches, generation);
        },
        [self, generation](const QString &message) {
            if (self)
                self->showError(message, generation);
        });
}

std::vector<Match> LivePage::fetchToday(const QString &filter) const
{
    return fetchTodayMatches(m_context->espn, filter, QDate::currentDate(), true);
}

void LivePage::showError(const QString &message, int generation)
{
    if (generation == m_fetching)
        m_fetching = 0;
    if (generation != m_generation || !isVisible())
        return;
    m_list->setMessage(message);
    m_status->setText(QStringLiteral("Couldn't refresh"));
}

void LivePage::showMatches(const std::vector<Match> &matches, int generation)
{
    if (generation == m_fetching)
        m_fetching = 0;
    if (generation != m_generation)
        return;
    // Goals are announced from whatever page the user is on.
    detectGoals(matches);
    if (!isVisible())
        return;

    std::vector<Match> shown;
    std::copy_if(matches.begin(), matches.end(), std::back_inserter(shown), kept);
    if (matches.empty()) {
        m_list->setMessage(QStringLiteral("Nothing kicking off today in any of the tracked leagues."));
        m_status->setText(QStringLiteral("Nothing scheduled today"));
        return;
    }
    if (shown.empty()) {
        m_list->setMessage(
            QStringLiteral("Everything on today's card has finished \u2014 check History for results."));
        m_status->setText(QStringLiteral("Nothing scheduled today"));
        return;
    }

    m_list->clear();
    m_status->setText(QStringLiteral("Auto-refreshing ") + m_periodText);
    for (const Match &match : shown) {
        MatchCard *card = m_list->addMatch(match, m_context->favorites.isFavorite(match.id));
        wireCard(m_context, card);
        connect(card, &MatchCard::favoriteClicked, this,
                [this, card](const Match &m) { onFavoriteClicked(m, card); });
        loadCrest(m_context, card, QStringLiteral("home"), match.home_badge);
        loadCrest(m_context, card, QStringLiteral("away"), match.away_badge);
    }
}

void LivePage::detectGoals(const std::vector<Match> &matches)
{
    QMap<QString, int> totals;
    for (const Match &m : matches) {
        const auto scores = m.parsedScores();
        if (!scores)
            continue;
        const int total = scores->first + scores->second;
        totals.insert(m.id, total);
        // The first refresh only records: it has nothing to compare with.
        const auto previous = m_lastTotals.constFind(m.id);
        if (m_lastTotals.isEmpty() || previous == m_lastTotals.constEnd() || *previous >= total ||
            m.state != QLatin1String("in"))
            continue;
        m_context->play(QStringLiteral("goal"));
        m_context->toast(QStringLiteral("GOAL!  %1 %2\u2013%3 %4")
                             .arg(m.home_team, m.home_score, m.away_score, m.away_team),
                         QStringLiteral("success"));
        const QString &scope = m_context->settings.goal_notifications;
        if (scope == QLatin1String("all") ||
            (scope == QLatin1String("favourites") && m_context->favorites.isFavorite(m.id)))
            m_notifier->notify(m);
    }
    if (!totals.isEmpty())
        m_lastTotals = totals;
}

void LivePage::predictAll()
{
    std::vector<BatchRunner::Item> queue;
    for (MatchCard *card : m_list->cards()) {
        if (queue.size() == size_t(MaxQueued))
            break;
        if (card->hasPrediction || card->isBusy() || isMatchOver(card->match))
            continue;
        // A card replaced by a refresh meanwhile is left out.
        queue.emplace_back([card = QPointer<MatchCard>(card)]() {
            if (!card)
                return false;
            if (!card->hasPrediction && !card->isBusy())
                emit card->predictClicked(Match(card->match));
            return true;
        });
    }
    const int n = int(queue.size());
    if (queue.empty()) {
        m_context->play(QStringLiteral("error"));
        m_context->toast(QStringLiteral("Nothing to predict \u2014 every fixture here is already done."),
                         QStringLiteral("info"));
        return;
    }
    m_context->play(QStringLiteral("thinking"));
    m_context->toast(QStringLiteral("Predicting %1 fixture%2 \u2014 they'll fill in one by one.")
                         .arg(n)
                         .arg(n == 1 ? QString() : QStringLiteral("s")),
                     QStringLiteral("info"));
    m_predictRunner->start(std::move(queue));
}

void LivePage::onFavoriteClicked(const Match &match, MatchCard *card)
{
    const bool starred = m_context->favorites.toggle(match);
    card->setFavorite(starred);
    m_context->play(starred ? QStringLiteral("favorite") : QStringLiteral("unfavorite"));
}
