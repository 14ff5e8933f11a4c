#include "SearchPage.h"

#include "data/FixtureQueries.h"
#include "ui/app/AppContext.h"
#include "ui/cards/CardActions.h"
#include "ui/cards/CrestLoader.h"
#include "ui/cards/MatchCard.h"
#include "ui/cards/MatchListView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

SearchPage::SearchPage(AppContext *context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
{
    setObjectName(QStringLiteral("SearchPage"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(14);

    auto *title = new QLabel(QStringLiteral("Team Search"), this);
    title->setObjectName(QStringLiteral("SectionTitle"));
    layout->addWidget(title);
    auto *subtitle =
        new QLabel(QStringLiteral("Type a matchup like \"Arsenal vs Chelsea\" and press Enter."), this);
    subtitle->setObjectName(QStringLiteral("Muted"));
    subtitle->setTextFormat(Qt::PlainText);
    layout->addWidget(subtitle);

    auto *row = new QHBoxLayout;
    row->setSpacing(10);
    m_query = new QLineEdit(this);
    m_query->setObjectName(QStringLiteral("SearchQuery"));
    m_query->setPlaceholderText(QStringLiteral("Team1 vs Team2  \u00B7  e.g. Real Madrid vs Barcelona"));
    row->addWidget(m_query, 1);
    m_searchButton = new QPushButton(QStringLiteral("Search"), this);
    m_searchButton->setObjectName(QStringLiteral("PrimaryButton"));
    m_searchButton->setCursor(Qt::PointingHandCursor);
    row->addWidget(m_searchButton);
    layout->addLayout(row);

    m_list = new MatchListView(this);
    m_list->setMessage(QStringLiteral("Search a matchup to get started."));
    layout->addWidget(m_list, 1);

    connect(m_query, &QLineEdit::returnPressed, this, &SearchPage::search);
    connect(m_searchButton, &QPushButton::clicked, this, &SearchPage::search);
}

void SearchPage::search()
{
    const QString query = m_query->text().trimmed();
    if (query.isEmpty())
        return;
    const auto names = EspnApi::parseVsQuery(query);
    if (!names) {
        m_context->toast(QStringLiteral("Use the format: Team1 vs Team2"), QStringLiteral("error"));
        m_context->play(QStringLiteral("error"));
        return;
    }
    const QString a = names->first;
    const QString b = names->second;
    m_context->play(QStringLiteral("click"));
    m_list->setMessage(QStringLiteral("Searching %1 vs %2\u2026").arg(a, b));

    const int generation = ++m_generation;
    AppContext *context = m_context;
    QPointer<SearchPage> self(this);
    using Result = std::pair<Match, bool>;
    m_context->runAsync<Result>([context, a, b]() { return findMatchup(context->espn, a, b); },
                                [self, generation](Result result) {
                                    if (self && generation == self->m_generation)
                                        self->showResult(result.first, result.second);
                                },
                                [self, generation](const QString &message) {
                                    if (!self || generation != self->m_generation)
                                        return;
                                    self->m_list->setMessage(message);
                                    self->m_context->play(QStringLiteral("error"));
                                });
}

void SearchPage::showResult(const Match &match, bool hypothetical)
{
    m_list->clear();
    MatchCard *card = m_list->addMatch(match, m_context->favorites.isFavorite(match.id));
    wireCard(m_context, card);
    connect(card, &MatchCard::favoriteClicked, this,
            [this, card](const Match &m) { onFavoriteClicked(m, card); });
    loadCrest(m_context, card, QStringLiteral("home"), match.home_badge);
    loadCrest(m_context, card, QStringLiteral("away"), match.away_badge);
    if (hypothetical) {
        m_context->toast(
            QStringLiteral("No scheduled fixture found \u2014 predicting a hypothetical matchup."),
            QStringLiteral("info"));
    }
}

void SearchPage::onFavoriteClicked(const Match &match, MatchCard *card)
{
    const bool starred = m_context->favorites.toggle(match);
    card->setFavorite(starred);
    m_context->play(starred ? QStringLiteral("favorite") : QStringLiteral("unfavorite"));
}
