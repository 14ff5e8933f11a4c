#include "AccuracyDashboard.h"
#include "ReliabilityChart.h"

#include "ai/AccuracyStats.h"
#include "ui/app/AppContext.h"
#include "ui/common/Icons.h"
#include "ui/common/Theme.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <cmath>

namespace {

constexpr int CountUpMs = 500;

// Whole percent, halves away from zero; 0 of nothing is 0.
int percentOf(int part, int whole)
{
    return whole > 0 ? int(std::lround(double(part) * 100.0 / double(whole))) : 0;
}

QString threeDecimals(double value)
{
    return QString::number(value, 'f', 3);
}

QLabel *mutedLabel(const QString &role, int pixels, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QStringLiteral("Muted"));
    label->setProperty("role", role);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("font-size: %1px;").arg(pixels));
    return label;
}

QString plural(int n)
{
    return n == 1 ? QString() : QStringLiteral("s");
}

} // namespace

AccuracyDashboard::AccuracyDashboard(AppContext *context, QWidget *parent)
    : QFrame(parent)
    , m_context(context)
{
    setObjectName(QStringLiteral("Card"));
    // Labels and plain containers would otherwise paint the page colour over
    // the card's surface.
    setStyleSheet(QStringLiteral("QLabel, QWidget#DashboardContent, QWidget#StatTile, "
                                 "QWidget#DashboardScoring { background-color: transparent; }"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 14, 18, 16);
    layout->setSpacing(12);

    auto *header = new QHBoxLayout;
    header->setSpacing(8);
    auto *icon = new QLabel(this);
    icon->setPixmap(faPixmap(QStringLiteral("chart-line"), QColor(accent()), 15));
    header->addWidget(icon);
    auto *title = new QLabel(QStringLiteral("AI Track Record"), this);
    title->setStyleSheet(QStringLiteral("font-weight: 700; font-size: 14px;"));
    header->addWidget(title);
    header->addStretch(1);
    m_subtitle = new QLabel(this);
    m_subtitle->setObjectName(QStringLiteral("Muted"));
    m_subtitle->setProperty("role", QStringLiteral("DashboardSubtitle"));
    m_subtitle->setTextFormat(Qt::PlainText);
    m_subtitle->setStyleSheet(QStringLiteral("font-size: 11px;"));
    header->addWidget(m_subtitle);
    layout->addLayout(header);

    m_empty =
        new QLabel(QStringLiteral("Once you check the result of a few predictions, this shows how the AI is "
                                  "actually doing — accuracy, streaks and a breakdown by league."),
                   this);
    m_empty->setObjectName(QStringLiteral("Muted"));
    m_empty->setProperty("role", QStringLiteral("DashboardEmpty"));
    m_empty->setWordWrap(true);
    layout->addWidget(m_empty);

    m_content = new QWidget(this);
    m_content->setObjectName(QStringLiteral("DashboardContent"));
    auto *contentLayout = new QVBoxLayout(m_content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->setSpacing(14);
    m_tiles = new QHBoxLayout;
    m_tiles->setObjectName(QStringLiteral("TileRow"));
    m_tiles->setSpacing(10);
    contentLayout->addLayout(m_tiles);

    m_scoring = new QWidget(m_content);
    m_scoring->setObjectName(QStringLiteral("DashboardScoring"));
    auto *scoringLayout = new QHBoxLayout(m_scoring);
    scoringLayout->setContentsMargins(0, 0, 0, 0);
    scoringLayout->setSpacing(18);
    auto *scoreColumn = new QVBoxLayout;
    scoreColumn->setSpacing(6);
    QLabel *scoresCaption = mutedLabel(QStringLiteral("ScoresCaption"), 11, m_scoring);
    scoresCaption->setText(QStringLiteral("RPS / Brier / log loss · lower is better; the base rate is "
                                          "always calling 46% home, 26% draw, 28% away"));
    scoreColumn->addWidget(scoresCaption);
    m_scoreTiles = new QHBoxLayout;
    m_scoreTiles->setSpacing(10);
    scoreColumn->addLayout(m_scoreTiles);
    m_market = new QLabel(m_scoring);
    m_market->setProperty("role", QStringLiteral("MarketComparison"));
    m_market->setTextFormat(Qt::PlainText);
    m_market->setWordWrap(true);
    m_market->setStyleSheet(QStringLiteral("font-size: 12px; font-weight: 600;"));
    scoreColumn->addWidget(m_market);
    m_draws = mutedLabel(QStringLiteral("DrawCheck"), 11, m_scoring);
    scoreColumn->addWidget(m_draws);
    m_inPlay = mutedLabel(QStringLiteral("InPlayCount"), 11, m_scoring);
    scoreColumn->addWidget(m_inPlay);
    scoreColumn->addStretch(1);
    scoringLayout->addLayout(scoreColumn, 1);
    m_chart = new ReliabilityChart(m_scoring);
    scoringLayout->addWidget(m_chart, 0, Qt::AlignTop);
    contentLayout->addWidget(m_scoring);
    m_leagues = new QGridLayout;
    m_leagues->setObjectName(QStringLiteral("LeagueTable"));
    m_leagues->setHorizontalSpacing(12);
    m_leagues->setVerticalSpacing(6);
    contentLayout->addLayout(m_leagues);
    m_content->hide();
    layout->addWidget(m_content);
}

void AccuracyDashboard::updateStats(const AccuracyStats &stats)
{
    if (stats.checked < 1) {
        m_subtitle->setText(
            stats.total == 0
                ? QString()
                : QStringLiteral("%1 prediction%2 made").arg(stats.total).arg(plural(stats.total)));
        m_content->hide();
        m_empty->show();
        return;
    }
    m_empty->hide();
    m_content->show();
    m_subtitle->setText(QStringLiteral("%1 made · %2 checked").arg(stats.total).arg(stats.checked));
    rebuildTiles(stats);
    rebuildScores(stats.scoring);
    rebuildLeagues(stats);
}

void AccuracyDashboard::rebuildScores(const ScoreReport &report)
{
    clearLayout(m_scoreTiles);
    m_scoring->setVisible(report.model.n > 0);
    m_inPlay->setVisible(report.inPlay.n > 0);
    m_inPlay->setText(
        QStringLiteral("%1 call%2 made in play, left out of these scores: %3% had the result as most likely")
            .arg(report.inPlay.n)
            .arg(plural(report.inPlay.n))
            .arg(qRound(report.inPlay.hitRate * 100.0)));
    if (report.model.n == 0)
        return;

    const ForecastScores &model = report.model;
    const ForecastScores &base = report.baseRate;
    const QString color = accent();
    const struct
    {
        const char *name;
        double value;
        double baseline;
    } scores[] = {{"RPS", model.rps, base.rps},
                  {"Brier", model.brier, base.brier},
                  {"log loss", model.logLoss, base.logLoss}};
    for (const auto &score : scores) {
        // Red when the model does no better than always calling the base rate.
        QWidget *box = tile(
            threeDecimals(score.value), -1, QString(),
            QStringLiteral("%1 · base rate %2").arg(QLatin1String(score.name), threeDecimals(score.baseline)),
            score.value < score.baseline ? color : QStringLiteral("#E5484D"));
        box->setProperty("role", QString(QStringLiteral("Score ") + QLatin1String(score.name)));
        m_scoreTiles->addWidget(box);
    }
    m_scoreTiles->addStretch(1);

    const MarketComparison &market = report.market;
    m_market->setVisible(market.market.n > 0);
    m_market->setText(QStringLiteral("Versus the bookmakers: RPS %1 vs %2 on %3 match%4 — %5")
                          .arg(threeDecimals(market.modelRps), threeDecimals(market.market.rps))
                          .arg(market.market.n)
                          .arg(market.market.n == 1 ? QString() : QStringLiteral("es"))
                          .arg(market.verdict));
    m_draws->setText(QStringLiteral("Draws: the AI gave them %1% on average; %2% of matches were drawn")
                         .arg(qRound(report.meanPredictedDrawPct))
                         .arg(qRound(report.observedDrawPct)));

    const ThemePalette &palette = paletteFor(m_context->settings.theme);
    m_chart->setColors(QColor(color), QColor(palette.text), QColor(palette.textDim));
    m_chart->setBins(report.calibration);
}

void AccuracyDashboard::rebuildTiles(const AccuracyStats &stats)
{
    clearLayout(m_tiles);
    const QString color = accent();
    m_tiles->addWidget(tile(QString(), percentOf(stats.correct, stats.checked), QStringLiteral("%"),
                            QStringLiteral("accuracy"), color));
    m_tiles->addWidget(tile(QStringLiteral("%1/%2").arg(stats.correct).arg(stats.checked), -1, QString(),
                            QStringLiteral("correct calls"), QString()));
    m_tiles->addWidget(
        tile(QString(), stats.currentStreak, QString(), QStringLiteral("current streak"), QString()));
    m_tiles->addWidget(
        tile(QString(), stats.bestStreak, QString(), QStringLiteral("best streak"), QString()));
    if (stats.confidentChecked > 0) {
        m_tiles->addWidget(tile(QString(), percentOf(stats.confidentCorrect, stats.confidentChecked),
                                QStringLiteral("%"),
                                QStringLiteral("when ≥%1% sure").arg(CONFIDENT_THRESHOLD), QString()));
    }
    m_tiles->addStretch(1);
}

void AccuracyDashboard::rebuildLeagues(const AccuracyStats &stats)
{
    clearLayout(m_leagues);
    const QString color = accent();
    // The bar's groove is a faint tint of the text colour, so it shows on the
    // light surface as well as on the dark one.
    const QString groove = m_context->settings.theme == QLatin1String("dark")
                               ? QStringLiteral("rgba(255,255,255,20)")
                               : QStringLiteral("rgba(0,0,0,20)");
    const int rows = int(std::min<qsizetype>(stats.leagues.size(), MaxLeagueRows));
    for (int row = 0; row < rows; ++row) {
        const LeagueRecord &record = stats.leagues.at(row);
        const int pct = percentOf(record.correct, record.checked);

        auto *name = new QLabel(record.league, m_content);
        name->setTextFormat(Qt::PlainText);
        name->setStyleSheet(QStringLiteral("font-size: 12px;"));
        m_leagues->addWidget(name, row, 0);

        auto *count = new QLabel(QStringLiteral("%1/%2").arg(record.correct).arg(record.checked), m_content);
        count->setObjectName(QStringLiteral("Muted"));
        count->setStyleSheet(QStringLiteral("font-size: 12px;"));
        count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_leagues->addWidget(count, row, 1);

        auto *bar = new QProgressBar(m_content);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        bar->setFixedHeight(6);
        bar->setFixedWidth(140);
        bar->setStyleSheet(QStringLiteral("QProgressBar { background: %1; border-radius: 3px; } "
                                          "QProgressBar::chunk { background: %2; border-radius: 3px; }")
                               .arg(groove, color));
        auto *fill = new QPropertyAnimation(bar, "value", bar);
        fill->setDuration(CountUpMs);
        fill->setStartValue(0);
        fill->setEndValue(pct);
        fill->setEasingCurve(QEasingCurve::OutCubic);
        fill->start(QAbstractAnimation::DeleteWhenStopped);
        m_leagues->addWidget(bar, row, 2, Qt::AlignVCenter);

        auto *percent = new QLabel(QStringLiteral("%1%").arg(pct), m_content);
        percent->setStyleSheet(QStringLiteral("font-size: 12px; font-weight: 700;"));
        percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_leagues->addWidget(percent, row, 3);
    }
    // Column 4 takes the spare width, keeping the table packed to the left.
    m_leagues->setColumnMinimumWidth(0, 190);
    m_leagues->setColumnStretch(0, 0);
    m_leagues->setColumnStretch(4, 1);
}

QWidget *AccuracyDashboard::tile(const QString &text, int value, const QString &suffix,
                                 const QString &caption, const QString &color)
{
    auto *box = new QWidget(m_content);
    box->setObjectName(QStringLiteral("StatTile"));
    // Even spacing between short figures ("3") and long ones ("5/7").
    box->setMinimumWidth(72);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *valueLabel = new QLabel(box);
    valueLabel->setObjectName(QStringLiteral("StatValue"));
    valueLabel->setTextFormat(Qt::PlainText);
    if (!color.isEmpty())
        valueLabel->setStyleSheet(QStringLiteral("color: ") + color + QStringLiteral(";"));
    if (value < 0) {
        valueLabel->setText(text.trimmed());
    } else {
        valueLabel->setText(QStringLiteral("0") + suffix);
        auto *countUp = new QVariantAnimation(valueLabel);
        countUp->setDuration(CountUpMs);
        countUp->setStartValue(0);
        countUp->setEndValue(value);
        countUp->setEasingCurve(QEasingCurve::OutCubic);
        connect(countUp, &QVariantAnimation::valueChanged, valueLabel,
                [valueLabel, suffix](const QVariant &v) {
                    valueLabel->setText(QStringLiteral("%1%2").arg(v.toInt()).arg(suffix));
                });
        countUp->start(QAbstractAnimation::DeleteWhenStopped);
    }
    layout->addWidget(valueLabel);

    auto *captionLabel = new QLabel(caption, box);
    captionLabel->setObjectName(QStringLiteral("Muted"));
    captionLabel->setTextFormat(Qt::PlainText);
    captionLabel->setStyleSheet(QStringLiteral("font-size: 10px;"));
    layout->addWidget(captionLabel);
    return box;
}

QString AccuracyDashboard::accent() const
{
    const QMap<QString, AccentPalette> &palettes = accentPalettes();
    auto it = palettes.constFind(m_context->settings.accent);
    if (it == palettes.constEnd())
        it = palettes.constFind(DEFAULT_ACCENT);
    return it == palettes.constEnd() ? QString() : it->accent;
}

void AccuracyDashboard::clearLayout(QLayout *layout)
{
    while (QLayoutItem *item = layout->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            // Hidden at once so the old figures never show beside the new ones.
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
}
