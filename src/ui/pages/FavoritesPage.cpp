#include "FavoritesPage.h"

#include "ui/app/AppContext.h"
#include "ui/cards/CardActions.h"
#include "ui/cards/CrestLoader.h"
#include "ui/cards/MatchCard.h"
#include "ui/cards/MatchListView.h"

#include <QLabel>
#include <QShowEvent>
#include <QVBoxLayout>

FavoritesPage::FavoritesPage(AppContext *context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
{
    setObjectName(QStringLiteral("FavoritesPage"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(14);
    auto *title = new QLabel(QStringLiteral("Favorites"), this);
    title->setObjectName(QStringLiteral("SectionTitle"));
    layout->addWidget(title);
    m_list = new MatchListView(this);
    layout->addWidget(m_list, 1);
    refresh();
}

void FavoritesPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        refresh();
}

void FavoritesPage::refresh()
{
    const QList<Match> favorites = m_context->favorites.all();
    m_list->clear();
    if (favorites.isEmpty()) {
        m_list->setMessage(QStringLiteral("No favorites yet. Star a fixture from Leagues or Search."));
        return;
    }
    for (const Match &match : favorites) {
        MatchCard *card = m_list->addMatch(match, true);
        wireCard(m_context, card);
        connect(card, &MatchCard::favoriteClicked, this, [this](const Match &m) {
            m_context->favorites.remove(m.id);
            m_context->play(QStringLiteral("unfavorite"));
            m_context->toast(QStringLiteral("Removed from favorites"), QStringLiteral("info"));
            // The list deletes its old cards later, so the card whose signal
            // this is survives until the handler has returned.
            refresh();
        });
        loadCrest(m_context, card, QStringLiteral("home"), match.home_badge);
        loadCrest(m_context, card, QStringLiteral("away"), match.away_badge);
    }
}
