#include "HistoryPage.h"

#include "AccuracyDashboard.h"
#include "WrappedLabel.h"
#include "ai/AccuracyStats.h"
#include "ai/CheckSummary.h"
#include "ai/PredictionService.h"
#include "ai/Pricing.h"
#include "app/Log.h"
#include "data/FixtureQueries.h"
#include "model/HistoryTransfer.h"
#include "ui/app/AppContext.h"
#include "ui/common/BatchRunner.h"
#include "ui/common/ComboBox.h"
#include "ui/common/Icons.h"
#include "ui/common/Theme.h"
#include "ui/common/WidgetHelpers.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

const QString HistoryPage::DefaultSubtitle =
    QStringLiteral("Every call the AI has made, and how it turned out");

namespace {

const QString CheckAllText = QStringLiteral("  Check all");

QPushButton *checkButtonOf(QFrame *row)
{
    return row ? row->findChild<QPushButton *>(QStringLiteral("IconButton")) : nullptr;
}

} // namespace

const QList<StatusFilter> &statusFilters()
{
    static const QList<StatusFilter> filters = {
        {QStringLiteral("all"), QStringLiteral("All predictions"), QStringLiteral("list")},
        {QStringLiteral("confident"), QStringLiteral("%1%+ confidence").arg(CONFIDENT_THRESHOLD),
         QStringLiteral("bullseye")},
        {QStringLiteral("unchecked"), QStringLiteral("Not checked yet"), QStringLiteral("clock")},
        {QStringLiteral("correct"), QStringLiteral("Correct calls"), QStringLiteral("check")},
        {QStringLiteral("wrong"), QStringLiteral("Wrong calls"), QStringLiteral("xmark")},
    };
    return filters;
}

QString outcomeColor(const QString &outcome)
{
    if (outcome == QLatin1String("HOME"))
        return QStringLiteral("#1CB05A");
    if (outcome == QLatin1String("DRAW"))
        return QStringLiteral("#F5B301");
    if (outcome == QLatin1String("AWAY"))
        return QStringLiteral("#E5484D");
    return QStringLiteral("#9AA3B2");
}

HistoryPage::HistoryPage(AppContext *context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
{
    setObjectName(QStringLiteral("HistoryPage"));
    const QColor muted(ICON_MUTED);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(14);

    auto *header = new QHBoxLayout;
    auto *titles = new QVBoxLayout;
    titles->setSpacing(2);
    auto *title = new QLabel(QStringLiteral("Prediction History"), this);
    title->setObjectName(QStringLiteral("SectionTitle"));
    titles->addWidget(title);
    m_subtitle = new QLabel(DefaultSubtitle, this);
    m_subtitle->setObjectName(QStringLiteral("Muted"));
    m_subtitle->setProperty("role", QStringLiteral("HistorySubtitle"));
    m_subtitle->setTextFormat(Qt::PlainText);
    m_subtitle->setWordWrap(true);
    titles->addWidget(m_subtitle);
    header->addLayout(titles, 1);
    header->addStretch();
    auto *exportButton = new QPushButton(QStringLiteral("  Export…"), this);
    exportButton->setObjectName(QStringLiteral("IconButton"));
    exportButton->setIcon(faIcon(QStringLiteral("file-export"), muted, 16));
    exportButton->setCursor(Qt::PointingHandCursor);
    exportButton->setToolTip(QStringLiteral("Save every prediction to a JSON or CSV file"));
    connect(exportButton, &QPushButton::clicked, this, &HistoryPage::exportToFile);
    header->addWidget(exportButton, 0, Qt::AlignTop);
    auto *clear = new QPushButton(QStringLiteral("  Clear history"), this);
    clear->setObjectName(QStringLiteral("IconButton"));
    clear->setIcon(faIcon(QStringLiteral("trash"), muted, 16));
    clear->setCursor(Qt::PointingHandCursor);
    clear->setToolTip(QStringLiteral("Delete every saved prediction"));
    connect(clear, &QPushButton::clicked, this, &HistoryPage::confirmClear);
    header->addWidget(clear, 0, Qt::AlignTop);
    layout->addLayout(header);

    m_dashboard = new AccuracyDashboard(m_context, this);
    layout->addWidget(m_dashboard);

    auto *filters = new QHBoxLayout;
    filters->setSpacing(8);
    m_search = new QLineEdit(this);
    m_search->setPlaceholderText(QStringLiteral("Search by team or league…"));
    m_search->setClearButtonEnabled(true);
    m_search->setAccessibleName(QStringLiteral("Search predictions"));
    m_search->setMinimumWidth(120);
    m_search->addAction(faIcon(QStringLiteral("magnifying-glass"), muted, 16), QLineEdit::LeadingPosition);
    // The list follows the search text once typing pauses, so that a quick
    // typist never waits for a rebuild per key.
    m_searchTimer = new QTimer(this);
    m_searchTimer->setSingleShot(true);
    m_searchTimer->setInterval(SearchDelayMs);
    connect(m_searchTimer, &QTimer::timeout, this, [this]() { refresh(true); });
    connect(m_search, &QLineEdit::textChanged, m_searchTimer, qOverload<>(&QTimer::start));
    // The search field and the two filters share the row's width, so that
    // the row fits the narrowest window and uses the room of a wide one.
    filters->addWidget(m_search, 3);

    m_leagueCombo = new ComboBox(this);
    m_leagueCombo->setObjectName(QStringLiteral("LeagueFilter"));
    m_leagueCombo->setCursor(Qt::PointingHandCursor);
    m_leagueCombo->setToolTip(QStringLiteral("Filter by league"));
    m_leagueCombo->setAccessibleName(QStringLiteral("Filter by league"));
    m_leagueCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_leagueCombo->setMinimumContentsLength(6);
    filters->addWidget(m_leagueCombo, 2);

    m_statusCombo = new ComboBox(this);
    m_statusCombo->setObjectName(QStringLiteral("StatusFilter"));
    m_statusCombo->setCursor(Qt::PointingHandCursor);
    m_statusCombo->setToolTip(QStringLiteral("Filter by result"));
    m_statusCombo->setAccessibleName(QStringLiteral("Filter by result"));
    m_statusCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_statusCombo->setMinimumContentsLength(6);
    for (const StatusFilter &filter : statusFilters())
        m_statusCombo->addItem(faIcon(filter.icon, muted, 16), QStringLiteral("  ") + filter.label,
                               filter.key);
    filters->addWidget(m_statusCombo, 2);
    connect(m_leagueCombo, &QComboBox::currentIndexChanged, this, &HistoryPage::onFilterChanged);
    connect(m_statusCombo, &QComboBox::currentIndexChanged, this, &HistoryPage::onFilterChanged);

    m_clearFilters = new QPushButton(this);
    m_clearFilters->setObjectName(QStringLiteral("IconButton"));
    m_clearFilters->setIcon(faIcon(QStringLiteral("filter-circle-xmark"), muted, 16));
    m_clearFilters->setCursor(Qt::PointingHandCursor);
    m_clearFilters->setToolTip(QStringLiteral("Clear all filters"));
    m_clearFilters->setAccessibleName(QStringLiteral("Clear all filters"));
    connect(m_clearFilters, &QPushButton::clicked, this, &HistoryPage::clearFilters);
    filters->addWidget(m_clearFilters);
    filters->addStretch(0);

    m_checkAllButton = new QPushButton(CheckAllText, this);
    m_checkAllButton->setObjectName(QStringLiteral("PrimaryButton"));
    m_checkAllButton->setIcon(faIcon(QStringLiteral("list-check"), Qt::white, 16));
    m_checkAllButton->setCursor(Qt::PointingHandCursor);
    m_checkAllButton->setToolTip(QStringLiteral("Check the result of every unchecked prediction shown here"));
    m_checkAllButton->setSizePolicy(QSizePolicy::Fixed, m_checkAllButton->sizePolicy().verticalPolicy());
    fitCheckAllButton();
    connect(m_checkAllButton, &QPushButton::clicked, this, &HistoryPage::checkAll);
    // One check at a time: the data service is asked no faster than it answers.
    m_checkRunner = new BatchRunner(m_checkAllButton, QStringLiteral("  Checking %1…"), 0, this);
    connect(m_checkRunner, &BatchRunner::finished, this, &HistoryPage::finishCheckAll);
    filters->addWidget(m_checkAllButton);
    layout->addLayout(filters);

    m_rowTimer = new QTimer(this);
    m_rowTimer->setSingleShot(true);
    m_rowTimer->setInterval(0);
    connect(m_rowTimer, &QTimer::timeout, this, [this]() {
        // Decided here rather than when scheduled: by now the layout has
        // placed the rows built last, so the scroll bar tells the truth.
        const QScrollBar *bar = m_scroll->verticalScrollBar();
        if (bar->maximum() - bar->value() >= m_scroll->viewport()->height())
            return;
        appendRows(LaterBatchRows);
        scheduleMoreRows();
    });

    m_scroll = new QScrollArea(this);
    m_scroll->setAccessibleName(QStringLiteral("Saved predictions"));
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_list = new QWidget(m_scroll);
    m_list->setObjectName(QStringLiteral("HistoryList"));
    // Row labels would otherwise paint the page colour over the cards.
    m_list->setStyleSheet(QStringLiteral("QFrame#Card QLabel { background-color: transparent; }"));
    m_listLayout = new QVBoxLayout(m_list);
    m_listLayout->setContentsMargins(0, 0, 0, 0);
    m_listLayout->setSpacing(10);
    m_listLayout->addStretch(1);
    m_scroll->setWidget(m_list);
    layout->addWidget(m_scroll, 1);
    // More rows as the end of the list comes into view, or grows apart from
    // it when the window gets taller.
    connect(m_scroll->verticalScrollBar(), &QScrollBar::valueChanged, this, &HistoryPage::scheduleMoreRows);
    connect(m_scroll->verticalScrollBar(), &QScrollBar::rangeChanged, this, &HistoryPage::scheduleMoreRows);

    m_watchTimer = new QTimer(this);
    m_watchTimer->setInterval(WatchIntervalMs);
    connect(m_watchTimer, &QTimer::timeout, this, &HistoryPage::reloadIfChanged);

    refresh(false);
}

void HistoryPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The style sheet (bold, 13 px) is only known once the page is polished.
    fitCheckAllButton();
    refresh(false);
    m_watchTimer->start();
}

void HistoryPage::fitCheckAllButton()
{
    fitButtonToText(m_checkAllButton, QStringLiteral("Checking 200…"));
}

void HistoryPage::refresh(bool fade)
{
    // Rows go at once: a hidden, soon-deleted row must not take part in the
    // next layout pass.
    m_list->setUpdatesEnabled(false);
    m_rowTimer->stop();
    m_searchTimer->stop();
    ++m_generation;
    while (m_listLayout->count() > 1) {
        QLayoutItem *item = m_listLayout->takeAt(0);
        if (QWidget *widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }

    const HistoryStore &history = m_context->history;
    m_listStamp = history.changeStamp();
    updateStats();
    if (!m_haveWhole || m_wholeStamp != m_listStamp) {
        m_wholeStamp = m_listStamp;
        m_haveWhole = true;
        m_leagues = history.leagues();
        // The list stays the one of this moment while it is scrolled:
        // entries stored later come with the next refresh.
        HistoryFilter everything;
        everything.upTo = m_latest = history.latestEntry();
        m_total = history.count(everything);
    }
    syncLeagueCombo(m_leagues);
    const int total = m_total;
    m_shown = currentFilter();
    m_shown.upTo = m_latest;
    m_shownCount = activeFilters() ? history.count(m_shown) : total;
    m_built = 0;
    m_rows.clear();

    if (total == 0) {
        m_shownCount = 0;
        m_subtitle->setText(DefaultSubtitle);
        auto *empty = new QLabel(QStringLiteral("No predictions yet — go predict a fixture!"), m_list);
        empty->setObjectName(QStringLiteral("Muted"));
        insertListWidget(empty);
        m_list->setUpdatesEnabled(true);
        return;
    }

    m_subtitle->setText(activeFilters()
                            ? QStringLiteral("Showing %1 of %2 predictions").arg(m_shownCount).arg(total)
                            : DefaultSubtitle);
    if (m_shownCount == 0) {
        auto *none = new QLabel(QStringLiteral("No predictions match these filters."), m_list);
        none->setObjectName(QStringLiteral("Muted"));
        insertListWidget(none);
    }
    m_pendingFade = fade;
    appendRows(FirstBatchRows);
    m_list->setUpdatesEnabled(true);
    scheduleMoreRows();
}

void HistoryPage::appendRows(int count)
{
    // Showing a row costs far more than building it (every widget is styled
    // on its first show), so rows are built a batch at a time, and only as
    // far down as the list is looked at. Each batch gets a container of its
    // own: a word-wrapped row is measured again whenever its layout changes,
    // and adding to the list's own layout would measure every row built so
    // far.
    const int n = std::min(count, m_shownCount - m_built);
    if (n <= 0)
        return;
    const QList<Prediction> batch = m_context->history.find(m_shown, m_built, n);
    if (batch.isEmpty()) {
        // Removed meanwhile by another process; the next refresh shows it.
        m_built = m_shownCount;
        return;
    }
    auto *chunk = new QWidget(m_list);
    chunk->setObjectName(QStringLiteral("HistoryRows"));
    auto *chunkLayout = new QVBoxLayout(chunk);
    chunkLayout->setContentsMargins(0, 0, 0, 0);
    chunkLayout->setSpacing(m_listLayout->spacing());
    for (const Prediction &prediction : batch) {
        QFrame *row = buildRow(prediction, chunk);
        chunkLayout->addWidget(row);
        m_rows.append({prediction, row});
        if (m_pendingFade)
            fadeIn(row, 200);
    }
    insertListWidget(chunk);
    m_built += int(batch.size());
}

void HistoryPage::scheduleMoreRows()
{
    // A timer rather than a queued call: the event loop paints and takes
    // keystrokes between two batches. A hidden page waits: showing it
    // rebuilds the list anyway. More rows are built while less than a
    // screenful of the list lies below what is shown.
    if (rowsPending() && isVisible())
        m_rowTimer->start();
}

void HistoryPage::reloadIfChanged()
{
    if (!isVisible()) {
        m_watchTimer->stop();
        return;
    }
    // A "Check all" run skips what a rebuild takes away: the list waits for
    // it to end.
    if (m_checkRunner->isRunning() || m_context->history.changeStamp() == m_listStamp)
        return;
    // The same rows as far down as they were built, at the same place.
    QScrollBar *bar = m_scroll->verticalScrollBar();
    const int position = bar->value();
    const int built = m_built;
    refresh(false);
    appendRows(built - m_built);
    QTimer::singleShot(0, bar, [bar, position]() { bar->setValue(position); });
}

QFrame *HistoryPage::listedRowOf(const Prediction &prediction, QFrame *hint) const
{
    if (isListed(hint))
        return hint;
    // Rows built after the prediction was queued, by scrolling.
    for (const RowEntry &entry : m_rows) {
        if (entry.prediction.id == prediction.id && isListed(entry.frame))
            return entry.frame;
    }
    return nullptr;
}

void HistoryPage::insertListWidget(QWidget *widget)
{
    // Just before the closing stretch.
    m_listLayout->insertWidget(m_listLayout->count() - 1, widget);
}

bool HistoryPage::isListed(QFrame *row) const
{
    // A row taken out by a rebuild may still exist until its deferred
    // deletion; it no longer counts.
    QWidget *chunk = row ? row->parentWidget() : nullptr;
    return chunk && chunk->layout() && chunk->layout()->indexOf(row) >= 0 &&
           m_listLayout->indexOf(chunk) >= 0;
}

void HistoryPage::updateStats()
{
    // Over the whole history, so only when it changed: filters and the
    // search do not touch the figures.
    const quint64 stamp = m_context->history.changeStamp();
    if (m_haveStats && stamp == m_statsStamp)
        return;
    m_statsStamp = stamp;
    m_haveStats = true;
    m_dashboard->updateStats(computeHistoryStats(m_context->history));
}

bool HistoryPage::activeFilters() const
{
    if (!m_search->text().trimmed().isEmpty())
        return true;
    const QVariant status = m_statusCombo->currentData();
    if (status.isValid() && status.toString() != QLatin1String("all"))
        return true;
    const QVariant league = m_leagueCombo->currentData();
    return league.isValid() && league.toString() != ALL_LEAGUES;
}

void HistoryPage::syncLeagueCombo(const QStringList &leagues)
{
    const QString remembered =
        m_leagueCombo->count() > 0 ? m_leagueCombo->currentData().toString() : ALL_LEAGUES;

    const QSignalBlocker blocker(m_leagueCombo);
    m_leagueCombo->clear();
    m_leagueCombo->addItem(faIcon(QStringLiteral("earth-europe"), QColor(ICON_MUTED), 16),
                           QStringLiteral("  All leagues"), ALL_LEAGUES);
    for (const QString &league : leagues)
        m_leagueCombo->addItem(QStringLiteral("  ") + league, league);
    const int index =
        m_leagueCombo->findData(remembered, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
    m_leagueCombo->setCurrentIndex(std::max(index, 0));
}

HistoryFilter HistoryPage::currentFilter() const
{
    HistoryFilter filter;
    const QString status = m_statusCombo->currentData().toString();
    if (status == QLatin1String("confident"))
        filter.minConfidence = CONFIDENT_THRESHOLD;
    else if (status == QLatin1String("unchecked"))
        filter.result = HistoryFilter::Result::Unchecked;
    else if (status == QLatin1String("correct"))
        filter.result = HistoryFilter::Result::Correct;
    else if (status == QLatin1String("wrong"))
        filter.result = HistoryFilter::Result::Wrong;
    const QString league = m_leagueCombo->currentData().toString();
    if (league != ALL_LEAGUES)
        filter.league = league;
    filter.text = m_search->text().trimmed();
    return filter;
}

QFrame *HistoryPage::buildRow(const Prediction &prediction, QWidget *parent)
{
    auto *row = new QFrame(parent);
    row->setObjectName(QStringLiteral("Card"));
    row->setProperty("predictionId", prediction.id);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(14, 10, 14, 10);
    layout->setSpacing(10);

    const QString color = outcomeColor(prediction.outcome);
    auto *dot = new QLabel(QStringLiteral("●"), row);
    dot->setStyleSheet(QStringLiteral("color: %1; font-size: 16px;").arg(color));
    layout->addWidget(dot, 0, Qt::AlignTop);

    // Every text here came from the data service, the model or a hand-edited
    // history file: escaped, so it shows as written and never as markup.
    auto *text = new WrappedLabel(row);
    text->setObjectName(QStringLiteral("HistoryRowText"));
    text->setTextFormat(Qt::RichText);
    text->setText(QStringLiteral("<b>%1</b><br><span style='color:%2;'>%3</span> · predicted %4 · %5% "
                                 "confidence · %6")
                      .arg(prediction.match_label.toHtmlEscaped(), color, prediction.outcome.toHtmlEscaped(),
                           prediction.scoreline.toHtmlEscaped(), QString::number(prediction.confidence),
                           prediction.created_at.toHtmlEscaped()) +
                  (isPriced(prediction.model) || prediction.model.isEmpty()
                       ? QString()
                       : QStringLiteral(" · price unknown")));
    layout->addWidget(text, 1);
    if (!prediction.madeBeforeKickoff()) {
        auto *inPlay = new QLabel(QStringLiteral("in play"), row);
        inPlay->setObjectName(QStringLiteral("Muted"));
        inPlay->setProperty("role", QStringLiteral("InPlayMarker"));
        inPlay->setToolTip(
            QStringLiteral("Called after kick-off: counted apart, not in the probability scores"));
        layout->addWidget(inPlay, 0, Qt::AlignVCenter);
    }

    const std::optional<bool> correct = prediction.wasCorrect();
    if (correct.has_value()) {
        auto *badge = new QLabel(QStringLiteral("  %1 · FT %2-%3  ")
                                     .arg(*correct ? QStringLiteral("Correct") : QStringLiteral("Wrong"))
                                     .arg(prediction.actual_home_score)
                                     .arg(prediction.actual_away_score),
                                 row);
        badge->setObjectName(QStringLiteral("ResultBadge"));
        badge->setStyleSheet(
            QStringLiteral("background-color: %1; color: white; border-radius: 6px; padding: 4px "
                           "8px; font-weight: 700; font-size: 11px;")
                .arg(*correct ? QStringLiteral("#1CB05A") : QStringLiteral("#E5484D")));
        layout->addWidget(badge, 0, Qt::AlignVCenter);
    } else if (prediction.isCheckable()) {
        auto *check = new QPushButton(QStringLiteral("  Check result"), row);
        check->setObjectName(QStringLiteral("IconButton"));
        check->setIcon(faIcon(QStringLiteral("magnifying-glass"), QColor(ICON_MUTED), 16));
        check->setCursor(Qt::PointingHandCursor);
        connect(check, &QPushButton::clicked, this, [this, prediction, row, check]() {
            // One check per click: a second click while it runs would only
            // repeat the same request and the same toast.
            check->setEnabled(false);
            checkResultRow(prediction, row, false);
        });
        check->setEnabled(!m_checking.contains(prediction.id));
        layout->addWidget(check, 0, Qt::AlignVCenter);
    }
    return row;
}

void HistoryPage::checkResultRow(const Prediction &prediction, QFrame *rowFrame, bool fromQueue)
{
    if (!fromQueue)
        m_context->play(QStringLiteral("click"));
    m_checking.insert(prediction.id);
    QPointer<QFrame> frame(rowFrame);
    appLog(QStringLiteral("[checkAll] checking matchId=%1 label=%2")
               .arg(prediction.match_id, prediction.match_label));

    QPointer<HistoryPage> self(this);
    const EspnApi *api = &m_context->espn;
    m_context->runAsync<Prediction>([api, prediction]() { return checkResult(*api, prediction); },
                                    [self, frame, fromQueue](const Prediction &checked) {
                                        if (self)
                                            self->onCheckDone(checked, frame, fromQueue);
                                    },
                                    [self, prediction, frame, fromQueue](const QString &message) {
                                        if (self)
                                            self->onCheckFailed(prediction, message, frame, fromQueue);
                                    });
}

void HistoryPage::onCheckDone(const Prediction &checked, const QPointer<QFrame> &rowFrame, bool fromQueue)
{
    appLog(QStringLiteral("[checkAll] result ok matchId=%1").arg(checked.match_id));
    m_checking.remove(checked.id);
    m_context->history.update(checked);
    // The page's own change: the list already shows it.
    m_listStamp = m_context->history.changeStamp();

    if (QFrame *old = listedRowOf(checked, rowFrame.data())) {
        QWidget *chunk = old->parentWidget();
        QFrame *fresh = buildRow(checked, chunk);
        delete chunk->layout()->replaceWidget(old, fresh);
        old->hide();
        old->deleteLater();
        fadeIn(fresh, 200);
        // The entry follows the row, result included, so that "Check all"
        // does not queue a row that already shows its result.
        for (RowEntry &entry : m_rows) {
            if (entry.frame == old) {
                entry.frame = fresh;
                entry.prediction = checked;
            }
        }
    }
    updateStats();

    const bool right = checked.wasCorrect().value_or(false);
    if (!fromQueue) {
        m_context->play(right ? QStringLiteral("success") : QStringLiteral("error"));
        m_context->toast(right ? QStringLiteral("Correct call!") : QStringLiteral("Wasn't this time."),
                         right ? QStringLiteral("success") : QStringLiteral("info"));
        return;
    }
    if (right)
        ++m_checkCorrect;
    else
        ++m_checkWrong;
    m_checkRunner->next();
}

void HistoryPage::onCheckFailed(const Prediction &prediction, const QString &message,
                                const QPointer<QFrame> &rowFrame, bool fromQueue)
{
    appLog(QStringLiteral("[checkAll] error matchId=%1 msg=%2").arg(prediction.match_id, message));
    m_checking.remove(prediction.id);
    if (fromQueue) {
        ++m_checkSkipped;
        m_checkRunner->next();
        return;
    }
    Q_UNUSED(rowFrame);
    // The row may have been rebuilt meanwhile: the one listed now is enabled.
    for (const RowEntry &entry : std::as_const(m_rows)) {
        if (entry.prediction.id != prediction.id || !isListed(entry.frame))
            continue;
        if (QPushButton *check = checkButtonOf(entry.frame))
            check->setEnabled(true);
    }
    m_context->toast(message, QStringLiteral("info"));
}

void HistoryPage::checkAll()
{
    appLog(QStringLiteral("[checkAll] started"));
    // Every row shown means every prediction of the list, also those whose
    // rows are not built yet; the store knows which are still unchecked.
    std::vector<BatchRunner::Item> queue;
    HistoryFilter unchecked = m_shown;
    if (unchecked.result == HistoryFilter::Result::Any)
        unchecked.result = HistoryFilter::Result::Unchecked;
    if (unchecked.result == HistoryFilter::Result::Unchecked && m_shownCount > 0) {
        for (const Prediction &prediction : m_context->history.find(unchecked)) {
            if (!prediction.isCheckable() || m_checking.contains(prediction.id))
                continue;
            const RowEntry entry{prediction, listedRowOf(prediction, nullptr), m_generation};
            queue.emplace_back([this, entry]() {
                // A list rebuilt meanwhile (filters changed, page shown
                // again) can no longer show the result; it counts as not
                // finished.
                if (entry.generation != m_generation) {
                    ++m_checkSkipped;
                    return false;
                }
                checkResultRow(entry.prediction, entry.frame, true);
                return true;
            });
        }
    }
    const int n = int(queue.size());
    m_checkCorrect = m_checkWrong = m_checkSkipped = 0;
    if (queue.empty()) {
        m_context->play(QStringLiteral("error"));
        m_context->toast(QStringLiteral("Nothing to check — every prediction shown here is already checked."),
                         QStringLiteral("info"));
        return;
    }
    m_context->play(QStringLiteral("thinking"));
    m_context->toast(QStringLiteral("Checking %1 result%2 — they'll fill in one by one.")
                         .arg(n)
                         .arg(n == 1 ? QString() : QStringLiteral("s")),
                     QStringLiteral("info"));
    m_checkRunner->start(std::move(queue));
}

void HistoryPage::finishCheckAll()
{
    appLog(QStringLiteral("[checkAll] finished correct=%1 wrong=%2 skipped=%3")
               .arg(m_checkCorrect)
               .arg(m_checkWrong)
               .arg(m_checkSkipped));

    const QString summary = checkAllSummary(m_checkCorrect, m_checkWrong, m_checkSkipped);
    if (summary.isEmpty())
        return;
    // A run that went mostly wrong gets the neutral chime, not the fanfare.
    m_context->play(m_checkCorrect < m_checkWrong ? QStringLiteral("notify") : QStringLiteral("success"));
    m_context->toast(summary,
                     m_checkCorrect + m_checkWrong > 0 ? QStringLiteral("success") : QStringLiteral("info"));
}

void HistoryPage::onFilterChanged()
{
    m_context->play(QStringLiteral("click"));
    refresh(true);
}

void HistoryPage::clearFilters()
{
    if (!activeFilters())
        return;
    {
        const QSignalBlocker searchBlocker(m_search);
        const QSignalBlocker statusBlocker(m_statusCombo);
        const QSignalBlocker leagueBlocker(m_leagueCombo);
        m_search->clear();
        m_statusCombo->setCurrentIndex(0);
        m_leagueCombo->setCurrentIndex(0);
    }
    m_context->play(QStringLiteral("toggle"));
    refresh(true);
}

void HistoryPage::confirmClear()
{
    if (m_context->history.count() == 0)
        return;
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, QStringLiteral("Clear history?"),
        QStringLiteral(
            "This deletes every saved prediction (including checked results). This can't be undone."),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    m_context->history.clear();
    m_context->play(QStringLiteral("toggle"));
    m_context->toast(QStringLiteral("History cleared"), QStringLiteral("info"));
    refresh(false);
}

void HistoryPage::exportToFile()
{
    const QString json = QStringLiteral("JSON (*.json)");
    const QString csv = QStringLiteral("CSV (*.csv)");
    QString format = json;
    const QDir documents(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export history"),
                                                documents.filePath(QStringLiteral("tolvo-history.json")),
                                                json + QStringLiteral(";;") + csv, &format);
    if (path.isEmpty())
        return;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("json") && suffix != QLatin1String("csv"))
        path += format == csv ? QStringLiteral(".csv") : QStringLiteral(".json");

    // A long history takes a moment to write; the page stays responsive.
    const HistoryStore *history = &m_context->history;
    QPointer<HistoryPage> self(this);
    m_context->runAsync<QString>([history, path]() { return ::exportHistory(*history, path); },
                                 [self, path](const QString &error) {
                                     if (!self)
                                         return;
                                     if (!error.isEmpty()) {
                                         self->m_context->toast(error, QStringLiteral("error"));
                                         return;
                                     }
                                     const int n = self->m_context->history.count();
                                     self->m_context->play(QStringLiteral("success"));
                                     self->m_context->toast(QStringLiteral("Exported %1 prediction%2 to %3")
                                                                .arg(n)
                                                                .arg(n == 1 ? QString() : QStringLiteral("s"),
                                                                     QFileInfo(path).fileName()),
                                                            QStringLiteral("success"));
                                 },
                                 [self](const QString &message) {
                                     if (self)
                                         self->m_context->toast(message, QStringLiteral("error"));
                                 });
}
