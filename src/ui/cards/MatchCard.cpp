#include "MatchCard.h"

#include "PredictionCard.h"
#include "data/FixtureQueries.h"
#include "ui/common/Icons.h"
#include "ui/common/WidgetHelpers.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QColor STAR_ON(QStringLiteral("#F5B301"));
const QColor ICON_GREY(QStringLiteral("#8A8F98"));
const QString EN_DASH_SEPARATOR = QStringLiteral(" \u2013 ");

QLabel *teamLabel(const QString &name, Qt::Alignment alignment, QWidget *parent)
{
    QLabel *label = plainLabel(name, parent);
    label->setStyleSheet(QStringLiteral("font-weight: 700; font-size: 14px;"));
    label->setWordWrap(true);
    label->setAlignment(alignment | Qt::AlignVCenter);
    return label;
}

QString infoLine(const Match &m)
{
    if (!m.home_score.isEmpty() && !m.away_score.isEmpty())
        return QStringLiteral("FULL-TIME  \u00B7  ") + m.home_score + EN_DASH_SEPARATOR + m.away_score;
    QStringList parts;
    for (const QString &part : {m.date, m.time, m.venue}) {
        if (!part.isEmpty())
            parts.append(part);
    }
    return parts.isEmpty() ? QStringLiteral("Kickoff time unconfirmed")
                           : parts.join(QStringLiteral("  \u00B7  "));
}

} // namespace

MatchCard::MatchCard(const Match &m, bool isFavorite, QWidget *parent)
    : QFrame(parent)
    , match(m)
    , favorite(isFavorite)
    , concluded(isMatchOver(m))
{
    setObjectName(QStringLiteral("Card"));
    const bool live = match.state == QLatin1String("in");

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 16);
    layout->setSpacing(12);

    if (!match.league.isEmpty() || live) {
        auto *header = new QHBoxLayout;
        header->setSpacing(8);
        if (!match.league.isEmpty()) {
            leagueBadge = plainLabel(match.league.toUpper(), this);
            leagueBadge->setObjectName(QStringLiteral("LeagueBadge"));
            header->addWidget(leagueBadge);
        }
        if (live) {
            liveBadge =
                plainLabel(QString(QStringLiteral("\u25CF LIVE  ") + match.status_detail).trimmed(), this);
            liveBadge->setObjectName(QStringLiteral("LiveBadge"));
            header->addWidget(liveBadge);
        }
        header->addStretch(1);
        layout->addLayout(header);
    }

    auto *teams = new QHBoxLayout;
    teams->setSpacing(14);
    homeCrest = crestLabel(this);
    teams->addWidget(homeCrest);
    homeName = teamLabel(match.home_team, Qt::AlignRight, this);
    teams->addWidget(homeName, 1);
    auto *vs = new QLabel(QStringLiteral("VS"), this);
    vs->setObjectName(QStringLiteral("Muted"));
    vs->setStyleSheet(QStringLiteral("font-size: 11px; font-weight: 700;"));
    vs->setAlignment(Qt::AlignCenter);
    vs->setFixedWidth(28);
    teams->addWidget(vs);
    awayName = teamLabel(match.away_team, Qt::AlignLeft, this);
    teams->addWidget(awayName, 1);
    awayCrest = crestLabel(this);
    teams->addWidget(awayCrest);
    layout->addLayout(teams);

    if (live) {
        scoreLabel = plainLabel(match.home_score + EN_DASH_SEPARATOR + match.away_score, this);
        scoreLabel->setObjectName(QStringLiteral("LiveScore"));
        scoreLabel->setAlignment(Qt::AlignCenter);
        layout->addWidget(scoreLabel);
        infoLabel = plainLabel(match.venue.isEmpty() ? QStringLiteral("In progress") : match.venue, this);
    } else {
        infoLabel = plainLabel(infoLine(match), this);
    }
    infoLabel->setObjectName(QStringLiteral("Muted"));
    infoLabel->setAlignment(Qt::AlignCenter);
    infoLabel->setWordWrap(true);
    infoLabel->setStyleSheet(QStringLiteral("font-size: 12px;"));
    layout->addWidget(infoLabel);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    favButton = new QPushButton(this);
    favButton->setObjectName(QStringLiteral("IconButton"));
    favButton->setCursor(Qt::PointingHandCursor);
    favButton->setToolTip(QStringLiteral("Toggle favorite"));
    favButton->setIconSize(QSize(16, 16));
    updateFavIcon();
    connect(favButton, &QPushButton::clicked, this, [this]() { emit favoriteClicked(match); });
    buttons->addWidget(favButton);

    predictButton = new QPushButton(this);
    predictButton->setObjectName(QStringLiteral("PrimaryButton"));
    predictButton->setIconSize(QSize(16, 16));
    if (concluded) {
        predictButton->setText(QStringLiteral("  Match concluded"));
        predictButton->setIcon(faIcon(QStringLiteral("flag-checkered"), ICON_GREY, 16));
        predictButton->setEnabled(false);
        predictButton->setCursor(Qt::ArrowCursor);
        predictButton->setToolTip(
            QStringLiteral("This match has finished \u2014 there's nothing left to predict."));
    } else {
        predictButton->setText(QStringLiteral("  Predict with AI"));
        predictButton->setIcon(faIcon(QStringLiteral("wand-magic-sparkles"), Qt::white, 16));
        predictButton->setCursor(Qt::PointingHandCursor);
    }
    connect(predictButton, &QPushButton::clicked, this, [this]() { emit predictClicked(match); });
    buttons->addWidget(predictButton);
    layout->addLayout(buttons);

    predictionArea = new QVBoxLayout;
    predictionArea->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(predictionArea);
}

QLabel *MatchCard::crestLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setFixedSize(CrestSize, CrestSize);
    label->setAlignment(Qt::AlignCenter);
    label->setPixmap(faPixmap(QStringLiteral("futbol"), ICON_GREY, 28));
    label->setStyleSheet(
        QStringLiteral("background-color: rgba(255,255,255,18); border-radius: %1px;").arg(CrestSize / 2));
    return label;
}

void MatchCard::setFavorite(bool on)
{
    favorite = on;
    updateFavIcon();
}

void MatchCard::updateFavIcon()
{
    favButton->setIcon(faIcon(QStringLiteral("star"), favorite ? STAR_ON : ICON_GREY, 16));
    // The star's colour is all a sighted user gets; a screen reader says it.
    favButton->setAccessibleName(favorite ? QStringLiteral("Remove from favorites")
                                          : QStringLiteral("Add to favorites"));
}

void MatchCard::setPredicting(bool on)
{
    predicting = on;
    if (concluded)
        return;
    predictButton->setEnabled(!on);
    predictButton->setText(on ? QStringLiteral("  Analyzing\u2026") : QStringLiteral("  Predict with AI"));
}

void MatchCard::showPredictButtonReady()
{
    predicting = false;
    if (concluded)
        return;
    predictButton->setEnabled(true);
    predictButton->setText(QStringLiteral("  Predict with AI"));
}

void MatchCard::showPrediction(const Prediction &p, const QString &contextText)
{
    if (predictionCard) {
        predictionArea->removeWidget(predictionCard);
        predictionCard->hide();
        predictionCard->deleteLater();
        predictionCard = nullptr;
    }
    prediction = p;
    context = contextText;
    hasPrediction = true;

    predictionCard = new PredictionCard(prediction, this);
    connect(predictionCard, &PredictionCard::reasoningRequested, this,
            [this]() { emit reasoningRequested(this); });
    predictionArea->addWidget(predictionCard);
    showPredictButtonReady();

    auto *effect = new QGraphicsOpacityEffect(predictionCard);
    effect->setOpacity(0.0);
    predictionCard->setGraphicsEffect(effect);
    // Owned by the panel, not the effect: the finished handler deletes the
    // effect while the animation is still signalling.
    auto *animation = new QPropertyAnimation(effect, "opacity", predictionCard);
    animation->setDuration(220);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    animation->setEasingCurve(QEasingCurve::OutCubic);
    QPointer<PredictionCard> panel(predictionCard);
    connect(animation, &QPropertyAnimation::finished, this, [panel, effect]() {
        // An effect renders its widget off-screen on every paint: drop it
        // once the panel is fully shown.
        if (panel && panel->graphicsEffect() == effect)
            panel->setGraphicsEffect(nullptr);
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void MatchCard::applyReasoning(const Prediction &p)
{
    prediction = p;
    if (predictionCard) {
        predictionCard->prediction = p;
        predictionCard->showReasoning(p.summary, p.key_factors);
    }
}

void MatchCard::setReasoningLoading(bool on)
{
    if (predictionCard)
        predictionCard->setLoadingReasoning(on);
}

bool MatchCard::isBusy() const
{
    return predicting || (predictionCard && predictionCard->loadingReasoning);
}

void MatchCard::setCrest(const QString &side, const QPixmap &pixmap)
{
    if (pixmap.isNull())
        return;
    QLabel *label = side == QLatin1String("home") ? homeCrest : awayCrest;
    // Scaled for the screen's pixel density, so crests stay sharp on
    // high-resolution displays.
    const qreal ratio = label->devicePixelRatioF();
    const int device = qRound(CrestSize * ratio);
    QPixmap scaled = pixmap.scaled(device, device, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    scaled.setDevicePixelRatio(ratio);
    label->clear();
    label->setStyleSheet(QStringLiteral("border-radius: %1px;").arg(CrestSize / 2));
    label->setPixmap(scaled);
}
