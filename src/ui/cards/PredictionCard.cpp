#include "PredictionCard.h"

#include "ai/Pricing.h"
#include "ui/common/Icons.h"
#include "ui/common/Theme.h"
#include "ui/common/WidgetHelpers.h"

#include <QApplication>
#include <QClipboard>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QProgressBar *percentBar(int percent, QWidget *parent)
{
    auto *bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setValue(std::clamp(percent, 0, 100));
    bar->setTextVisible(false);
    return bar;
}

} // namespace

PredictionCard::PredictionCard(const Prediction &p, QWidget *parent)
    : QFrame(parent)
    , prediction(p)
{
    setObjectName(QStringLiteral("InsetCard"));
    mainLayout = new QVBoxLayout(this);
    mainLayout->setContentsMargins(16, 14, 16, 14);
    mainLayout->setSpacing(10);

    pickLabel = plainLabel(
        QStringLiteral("  AI PICK: ") + outcomeLabel(prediction.outcome) + QStringLiteral("  "), this);
    pickLabel->setObjectName(QStringLiteral("AiPickBadge"));
    mainLayout->addWidget(pickLabel, 0, Qt::AlignLeft);

    auto *caption = new QLabel(QStringLiteral("PREDICTED SCORE"), this);
    caption->setObjectName(QStringLiteral("Muted"));
    caption->setStyleSheet(QStringLiteral("font-size: 10px; font-weight: 700; letter-spacing: 0.6px;"));
    caption->setAlignment(Qt::AlignCenter);
    mainLayout->addWidget(caption);

    scoreLabel = plainLabel(prediction.scoreline, this);
    scoreLabel->setObjectName(QStringLiteral("ScoreHighlight"));
    scoreLabel->setAlignment(Qt::AlignCenter);
    mainLayout->addWidget(scoreLabel);

    const bool priced =
        prediction.market_home_pct && prediction.market_draw_pct && prediction.market_away_pct;
    if (priced)
        addMarketHeader();
    addProbabilityRow(QStringLiteral("Home"), prediction.home_win_pct, QStringLiteral("HomeProbability"),
                      priced ? prediction.market_home_pct : std::nullopt);
    addProbabilityRow(QStringLiteral("Draw"), prediction.draw_pct, QStringLiteral("DrawProbability"),
                      priced ? prediction.market_draw_pct : std::nullopt);
    addProbabilityRow(QStringLiteral("Away"), prediction.away_win_pct, QStringLiteral("AwayProbability"),
                      priced ? prediction.market_away_pct : std::nullopt);

    auto *confidenceRow = new QHBoxLayout;
    confidenceRow->setSpacing(10);
    confidenceRow->addWidget(new QLabel(QStringLiteral("Confidence"), this));
    QProgressBar *confidenceBar = percentBar(prediction.confidence, this);
    confidenceBar->setObjectName(QStringLiteral("ConfidenceBar"));
    confidenceRow->addWidget(confidenceBar, 1);
    confidenceValue = new QLabel(QStringLiteral("%1%").arg(prediction.confidence), this);
    confidenceValue->setObjectName(QStringLiteral("Muted"));
    // Same width as the percentages above, so that all four bars end together.
    confidenceValue->setFixedWidth(38);
    confidenceValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    confidenceRow->addWidget(confidenceValue);
    if (priced)
        confidenceRow->addSpacing(MarketColumnWidth + confidenceRow->spacing());
    mainLayout->addLayout(confidenceRow);

    actionRow = new QHBoxLayout;
    reasoningButton = new QPushButton(QStringLiteral("  See reasoning"), this);
    reasoningButton->setObjectName(QStringLiteral("IconButton"));
    reasoningButton->setIcon(faIcon(QStringLiteral("comment-dots"), QColor(ICON_MUTED), 16));
    reasoningButton->setIconSize(QSize(16, 16));
    reasoningButton->setCursor(Qt::PointingHandCursor);
    connect(reasoningButton, &QPushButton::clicked, this, &PredictionCard::reasoningRequested);
    actionRow->addWidget(reasoningButton);
    actionRow->addStretch(1);
    copyButton = new QPushButton(this);
    copyButton->setObjectName(QStringLiteral("IconButton"));
    copyButton->setIcon(faIcon(QStringLiteral("copy"), QColor(ICON_MUTED), 16));
    copyButton->setIconSize(QSize(16, 16));
    copyButton->setToolTip(QStringLiteral("Copy prediction"));
    copyButton->setAccessibleName(QStringLiteral("Copy prediction"));
    copyButton->setCursor(Qt::PointingHandCursor);
    connect(copyButton, &QPushButton::clicked, this, &PredictionCard::onCopyClicked);
    actionRow->addWidget(copyButton);
    mainLayout->addLayout(actionRow);

    reasoningInsertIndex = mainLayout->count();

    const QString model = prediction.model.isEmpty() ? QStringLiteral("gpt-4o-mini") : prediction.model;
    QString footer = QStringLiteral("Model: ") + model;
    if (prediction.cost_gbp > 0 || !isPriced(model))
        footer += QStringLiteral(" \u00B7 ") + costText(model, prediction.cost_gbp);
    if (!prediction.created_at.isEmpty())
        footer += QStringLiteral(" \u00B7 ") + prediction.created_at;
    footerLabel = plainLabel(footer, this);
    footerLabel->setObjectName(QStringLiteral("Muted"));
    footerLabel->setStyleSheet(QStringLiteral("font-size: 11px;"));
    footerLabel->setWordWrap(true);
    mainLayout->addWidget(footerLabel);

    if (!prediction.summary.isEmpty() || !prediction.key_factors.isEmpty())
        showReasoning(prediction.summary, prediction.key_factors);
}

QString PredictionCard::outcomeLabel(const QString &outcome)
{
    static const QMap<QString, QString> labels = {
        {QStringLiteral("HOME"), QStringLiteral("Home win")},
        {QStringLiteral("DRAW"), QStringLiteral("Draw")},
        {QStringLiteral("AWAY"), QStringLiteral("Away win")},
    };
    return labels.value(outcome, outcome);
}

void PredictionCard::addMarketHeader()
{
    auto *row = new QHBoxLayout;
    row->setSpacing(10);
    row->addStretch(1);
    auto caption = [this](const QString &text, int width) {
        auto *label = new QLabel(text, this);
        label->setObjectName(QStringLiteral("Muted"));
        label->setStyleSheet(QStringLiteral("font-size: 10px; font-weight: 700;"));
        label->setFixedWidth(width);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return label;
    };
    row->addWidget(caption(QStringLiteral("AI"), 38));
    QLabel *market = caption(QStringLiteral("Market"), MarketColumnWidth);
    market->setProperty("role", QStringLiteral("MarketCaption"));
    // The bookmaker's name comes from the data service: plain text only.
    market->setToolTip(
        QStringLiteral("The bookmakers' chances when the call was made, margin removed (%1)")
            .arg(prediction.market_provider.isEmpty() ? QStringLiteral("ESPN") : prediction.market_provider)
            .toHtmlEscaped());
    row->addWidget(market);
    mainLayout->addLayout(row);
}

void PredictionCard::addProbabilityRow(const QString &name, int percent, const QString &objectName,
                                       std::optional<double> market)
{
    auto *row = new QHBoxLayout;
    row->setSpacing(10);
    auto *label = new QLabel(name, this);
    label->setFixedWidth(46);
    row->addWidget(label);
    QProgressBar *bar = percentBar(percent, this);
    bar->setObjectName(objectName);
    row->addWidget(bar, 1);
    auto *value = new QLabel(QStringLiteral("%1%").arg(percent), this);
    value->setObjectName(objectName + QStringLiteral("Value"));
    value->setFixedWidth(38);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->addWidget(value);
    if (market) {
        auto *marketValue = new QLabel(QStringLiteral("%1%").arg(*market, 0, 'f', 1), this);
        marketValue->setObjectName(QStringLiteral("Muted"));
        marketValue->setProperty("role", QString(objectName + QStringLiteral("Market")));
        marketValue->setFixedWidth(MarketColumnWidth);
        marketValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        row->addWidget(marketValue);
    }
    mainLayout->addLayout(row);
}

void PredictionCard::setLoadingReasoning(bool on)
{
    loadingReasoning = on;
    if (!reasoningButton)
        return;
    reasoningButton->setEnabled(!on);
    reasoningButton->setText(on ? QStringLiteral("  Thinking\u2026") : QStringLiteral("  See reasoning"));
}

QLabel *PredictionCard::insertReasoningLabel(const QString &text)
{
    QLabel *label = plainLabel(text, this);
    label->setWordWrap(true);
    mainLayout->insertWidget(reasoningInsertIndex, label);
    ++reasoningInsertIndex;
    fadeIn(label, 220);
    return label;
}

void PredictionCard::showReasoning(const QString &summary, const QStringList &keyFactors)
{
    if (reasoningButton) {
        actionRow->removeWidget(reasoningButton);
        reasoningButton->hide();
        reasoningButton->deleteLater();
        reasoningButton = nullptr;
    }

    // A second reasoning replaces the first rather than stacking below it.
    if (!summary.isEmpty()) {
        if (summaryLabel) {
            summaryLabel->setText(summary);
        } else {
            summaryLabel = insertReasoningLabel(summary);
            summaryLabel->setObjectName(QStringLiteral("ReasoningSummary"));
        }
    }
    if (!keyFactors.isEmpty()) {
        QStringList lines;
        for (const QString &factor : keyFactors)
            lines.append(QStringLiteral("\u2022  ") + factor);
        if (factorsLabel) {
            factorsLabel->setText(lines.join(QLatin1Char('\n')));
        } else {
            factorsLabel = insertReasoningLabel(lines.join(QLatin1Char('\n')));
            factorsLabel->setObjectName(QStringLiteral("Muted"));
        }
    }
}

QString PredictionCard::copyText(const Prediction &p)
{
    QStringList lines = {
        QStringLiteral("AI PICK: ") + outcomeLabel(p.outcome),
        QStringLiteral("Predicted score: ") + p.scoreline,
        QStringLiteral("Home %1% \u00B7 Draw %2% \u00B7 Away %3%")
            .arg(p.home_win_pct)
            .arg(p.draw_pct)
            .arg(p.away_win_pct),
        QStringLiteral("Confidence: %1%").arg(p.confidence),
    };
    if (!p.summary.isEmpty())
        lines.append(p.summary);
    return lines.join(QLatin1Char('\n'));
}

void PredictionCard::onCopyClicked()
{
    QApplication::clipboard()->setText(copyText(prediction));
    copyButton->setIcon(faIcon(QStringLiteral("check"), QColor(ICON_MUTED), 16));
    // Tied to the button: a panel replaced meanwhile takes its timer along.
    QPointer<QPushButton> button(copyButton);
    QTimer::singleShot(1400, copyButton, [button]() {
        if (button)
            button->setIcon(faIcon(QStringLiteral("copy"), QColor(ICON_MUTED), 16));
    });
}
