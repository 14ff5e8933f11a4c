#include "LeaguesPage.h"

#include "app/League.h"
#include "ui/app/AppContext.h"
#include "ui/cards/CardActions.h"
#include "ui/cards/CrestLoader.h"
#include "ui/cards/MatchCard.h"
#include "ui/cards/MatchListView.h"
#include "ui/common/ComboBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

// At most this many fixtures are listed.
constexpr int MAX_FIXTURES = 60;

} // namespace

LeaguesPage::LeaguesPage(AppContext *context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
    , m_league(defaultLeagues().constFirst().slug)
{
    setObjectName(QStringLiteral("LeaguesPage"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(14);

    auto *header = new QVBoxLayout;
    header->setSpacing(2);
    m_title = new QLabel(defaultLeagues().constFirst().name, this);
    m_title->setObjectName(QStringLiteral("LeagueTitle"));
    m_title->setTextFormat(Qt::PlainText);
    m_title->setStyleSheet(QStringLiteral("font-size: 21px; font-weight: 800;"));
    header->addWidget(m_title);
    m_subtitle = new QLabel(QStringLiteral("Fetching fixtures\u2026"), this);
    m_subtitle->setObjectName(QStringLiteral("Muted"));
    m_subtitle->setTextFormat(Qt::PlainText);
    header->addWidget(m_subtitle);
    layout->addLayout(header);

    auto *row = new QHBoxLayout;
    row->setSpacing(10);
    m_leagueBox = new ComboBox(this);
    m_leagueBox->setObjectName(QStringLiteral("LeagueBox"));
    m_leagueBox->setAccessibleName(QStringLiteral("League"));
    m_leagueBox->setCursor(Qt::PointingHandCursor);
    for (const League &league : defaultLeagues())
        m_leagueBox->addItem(league.name, league.slug);
    m_leagueBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    row->addWidget(m_leagueBox);
    m_refresh = new QPushButton(QStringLiteral("Refresh"), this);
    m_refresh->setObjectName(QStringLiteral("IconButton"));
    m_refresh->setCursor(Qt::PointingHandCursor);
    row->addWidget(m_refresh);
    row->addStretch(1);
    layout->addLayout(row);

    m_list = new MatchListView(this);
    layout->addWidget(m_list, 1);

    // Connected after the items exist: filling the box must not load anything.
    connect(m_leagueBox, qOverload<int>(&QComboBox::currentIndexChanged), this, &LeaguesPage::onLeagueChosen);
    connect(m_refresh, &QPushButton::clicked, this, [this]() {
        m_context->play(QStringLiteral("refresh"));
        refresh();
    });
}

void LeaguesPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A window restored from the taskbar shows its pages again; that is not
    // the user coming to this page, and must not wipe the cards.
    if (!event->spontaneous())
        refresh();
}

void LeaguesPage::onLeagueChosen(int index)
{
    const QString slug = m_leagueBox->itemData(index).toString();
    if (slug.isEmpty())
        return;
    m_context->play(QStringLiteral("click"));
    m_league = slug;
    m_title->setText(defaultLeagues().value(index).name);
    refresh();
}

void LeaguesPage::refresh()
{
    m_list->setMessage(QStringLiteral("Loading fixtures\u2026"));
    m_subtitle->setText(QStringLiteral("Loading fixtures\u2026"));
    const int generation = ++m_generation;
    const QString league = m_league;
    const int days = m_context->settings.upcoming_days;
    AppContext *context = m_context;
    QPointer<LeaguesPage> self(this);
    m_context->runAsync<std::vector<Match>>(
        [context, league, days]() { return context->espn.upcomingMatches(league, MAX_FIXTURES, days); },
        [self, generation](std::vector<Match> matches) {
            if (self)
                self->showMatches(matches, generation);
        },
        [self, generation](const QString &message) {
            if (self)
                self->showError(message, generation);
        });
}

void LeaguesPage::showMatches(const std::vector<Match> &matches, int generation)
{
    if (generation != m_generation)
        return;
    m_list->clear();
    if (matches.empty()) {
        m_list->setMessage(
            QStringLiteral("No fixtures scheduled for this league yet \u2014 competitions like the "
                           "Champions League only publish fixtures once the draw is made."));
        m_subtitle->setText(QStringLiteral("Nothing to show"));
        return;
    }
    m_subtitle->setText(QStringLiteral("%1 upcoming fixture%2")
                            .arg(matches.size())
                            .arg(matches.size() == 1 ? QString() : QStringLiteral("s")));
    for (const Match &match : matches) {
        MatchCard *card = m_list->addMatch(match, m_context->favorites.isFavorite(match.id));
        wireCard(m_context, card);
        connect(card, &MatchCard::favoriteClicked, this,
                [this, card](const Match &m) { onFavoriteClicked(m, card); });
        loadCrest(m_context, card, QStringLiteral("home"), match.home_badge);
        loadCrest(m_context, card, QStringLiteral("away"), match.away_badge);
    }
}

void LeaguesPage::showError(const QString &message, int generation)
{
    if (generation != m_generation)
        return;
    m_list->setMessage(message);
    m_subtitle->setText(QStringLiteral("Couldn't load data"));
}

void LeaguesPage::onFavoriteClicked(const Match &match, MatchCard *card)
{
    const bool starred = m_context->favorites.toggle(match);
    card->setFavorite(starred);
    m_context->play(starred ? QStringLiteral("favorite") : QStringLiteral("unfavorite"));
    m_context->toast(starred ? QStringLiteral("Added to favorites")
                             : QStringLiteral("Removed from favorites"),
                     QStringLiteral("info"));
}
