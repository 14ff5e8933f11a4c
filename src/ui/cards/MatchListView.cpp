#include "MatchListView.h"

#include "MatchCard.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPropertyAnimation>
#include <QVBoxLayout>

MatchListView::MatchListView(QWidget *parent)
    : QScrollArea(parent)
{
    setObjectName(QStringLiteral("MatchList"));
    setAccessibleName(QStringLiteral("Fixtures"));
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    m_inner = new QWidget(this);
    m_inner->setObjectName(QStringLiteral("MatchListInner"));
    m_layout = new QVBoxLayout(m_inner);
    m_layout->setContentsMargins(2, 2, 2, 2);
    m_layout->setSpacing(12);

    // Error texts come from outside the program (server messages).
    m_message = new QLabel(m_inner);
    m_message->setObjectName(QStringLiteral("Muted"));
    m_message->setTextFormat(Qt::PlainText);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setWordWrap(true);
    m_message->setContentsMargins(12, 24, 12, 24);
    m_message->hide();

    m_layout->addStretch(1);
    setWidget(m_inner);
}

MatchCard *MatchListView::addMatch(const Match &match, bool favorite)
{
    // Cards replace a message still shown.
    if (m_layout->indexOf(m_message) >= 0) {
        m_layout->removeWidget(m_message);
        m_message->hide();
    }
    auto *card = new MatchCard(match, favorite, m_inner);
    m_layout->insertWidget(m_layout->count() - 1, card);
    const auto shown = m_shown.constFind(match.id);
    if (shown != m_shown.constEnd() && !match.id.isEmpty())
        card->showPrediction(shown->first, shown->second);
    if (!m_fade)
        startFadeIn();
    return card;
}

void MatchListView::startFadeIn()
{
    // The effect sits on the viewport rather than on the column of cards: an
    // effect renders its widget into an off-screen image first, and sixty
    // cards make a column tens of megabytes large, while the viewport is only
    // what is on screen.
    QWidget *target = viewport();
    auto *effect = new QGraphicsOpacityEffect(target);
    effect->setOpacity(0.0);
    target->setGraphicsEffect(effect);
    m_fade = effect;
    auto *animation = new QPropertyAnimation(effect, "opacity", target);
    animation->setDuration(180);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(animation, &QPropertyAnimation::finished, this, [this, target, effect]() {
        if (target->graphicsEffect() == effect)
            target->setGraphicsEffect(nullptr); // deletes the effect
        m_fade = nullptr;
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void MatchListView::clear()
{
    // Everything but the trailing stretch goes; the message label is kept
    // for the next message.
    while (m_layout->count() > 1) {
        QLayoutItem *item = m_layout->takeAt(0);
        if (QWidget *widget = item->widget()) {
            if (auto *card = qobject_cast<MatchCard *>(widget); card && card->hasPrediction)
                m_shown.insert(card->match.id, {card->prediction, card->context});
            widget->hide();
            if (widget != m_message)
                widget->deleteLater();
        }
        delete item;
    }
}

void MatchListView::setMessage(const QString &text)
{
    clear();
    m_message->setText(text);
    m_layout->insertWidget(0, m_message);
    m_message->show();
}

QString MatchListView::message() const
{
    return m_message->isVisibleTo(m_inner) ? m_message->text() : QString();
}

std::vector<MatchCard *> MatchListView::cards() const
{
    std::vector<MatchCard *> list;
    for (int i = 0; i < m_layout->count(); ++i) {
        if (auto *card = qobject_cast<MatchCard *>(m_layout->itemAt(i)->widget()))
            list.push_back(card);
    }
    return list;
}
