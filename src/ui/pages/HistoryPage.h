#pragma once

#include "model/HistoryStore.h"
#include "model/Prediction.h"

#include <QList>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QWidget>

class AccuracyDashboard;
class AppContext;
class BatchRunner;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QTimer;
class QVBoxLayout;

// One entry of the result-status filter.
struct StatusFilter
{
    QString key;
    QString label;
    QString icon;
};

// "all", "confident", "unchecked", "correct", "wrong", in menu order.
const QList<StatusFilter> &statusFilters();

// The colour of a predicted outcome's dot: HOME green, DRAW amber, AWAY red,
// anything else grey.
QString outcomeColor(const QString &outcome);

// Every stored prediction as a row card under the accuracy dashboard, with a
// text, league and result filter, result checks one row at a time or for
// every unchecked row shown ("Check all"), and clearing the whole history.
class HistoryPage : public QWidget
{
    Q_OBJECT

public:
    explicit HistoryPage(AppContext *context, QWidget *parent = nullptr);

    // Rebuilds the dashboard, the league list and the rows from the store;
    // with fade the new rows fade in.
    void refresh(bool fade);

    // Whether any filter narrows the list.
    bool activeFilters() const;
    // The current filters as a query of the history.
    HistoryFilter currentFilter() const;

    static const QString DefaultSubtitle;

    // Rows built at once by a refresh (a full window's worth: a taller one
    // gets the rest from the next batch, before anyone can scroll), and each
    // time the list is scrolled near its end. Fewer rows keep a keystroke in
    // the search field quick on a long history.
    static constexpr int FirstBatchRows = 12;
    static constexpr int LaterBatchRows = 48;
    // Pause in typing after which the list follows the search text.
    static constexpr int SearchDelayMs = 150;
    // How often a visible page looks for predictions stored by another
    // process (the command-line tool).
    static constexpr int WatchIntervalMs = 3000;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Whether predictions that pass the filters have no row yet: rows are
    // built a batch at a time as the list is scrolled towards its end.
    bool rowsPending() const { return m_built < m_shownCount; }

    struct RowEntry
    {
        Prediction prediction;
        QPointer<QFrame> frame;
        int generation = 0; // the list build the entry was queued from
    };

    void syncLeagueCombo(const QStringList &leagues);
    void appendRows(int count);
    void scheduleMoreRows();
    void reloadIfChanged();
    QFrame *listedRowOf(const Prediction &prediction, QFrame *hint) const;
    QFrame *buildRow(const Prediction &prediction, QWidget *parent);
    void checkResultRow(const Prediction &prediction, QFrame *rowFrame, bool fromQueue);
    void onCheckDone(const Prediction &checked, const QPointer<QFrame> &rowFrame, bool fromQueue);
    void onCheckFailed(const Prediction &prediction, const QString &message, const QPointer<QFrame> &rowFrame,
                       bool fromQueue);
    void checkAll();
    void finishCheckAll();
    void onFilterChanged();
    void clearFilters();
    void confirmClear();
    void exportToFile();
    void insertListWidget(QWidget *widget);
    void updateStats();
    bool isListed(QFrame *row) const;
    void fitCheckAllButton();

    AppContext *m_context;
    QLabel *m_subtitle = nullptr;
    AccuracyDashboard *m_dashboard = nullptr;
    QLineEdit *m_search = nullptr;
    QComboBox *m_leagueCombo = nullptr;
    QComboBox *m_statusCombo = nullptr;
    QPushButton *m_clearFilters = nullptr;
    QPushButton *m_checkAllButton = nullptr;
    QScrollArea *m_scroll = nullptr;
    QWidget *m_list = nullptr;
    QVBoxLayout *m_listLayout = nullptr;

    QList<RowEntry> m_rows;
    // The query behind the rows: the filters of the last refresh, frozen at
    // the entries stored then, how many pass and how many have rows.
    HistoryFilter m_shown;
    int m_shownCount = 0;
    int m_built = 0;
    int m_generation = 0;
    bool m_pendingFade = false;
    // What the store looked like when the list and the statistics were
    // last read.
    quint64 m_listStamp = 0;
    quint64 m_statsStamp = 0;
    bool m_haveStats = false;
    // What a refresh needs of the whole history, read again only when it
    // changed: a keystroke in the search field then costs one query.
    quint64 m_wholeStamp = 0;
    bool m_haveWhole = false;
    QStringList m_leagues;
    qint64 m_latest = 0;
    int m_total = 0;
    QTimer *m_rowTimer = nullptr;
    QTimer *m_searchTimer = nullptr;
    QTimer *m_watchTimer = nullptr;
    BatchRunner *m_checkRunner = nullptr;
    // Ids of the predictions whose check is on its way: a row rebuilt
    // meanwhile shows its button disabled, and "Check all" leaves them out.
    QSet<QString> m_checking;
    int m_checkCorrect = 0;
    int m_checkWrong = 0;
    int m_checkSkipped = 0;
};
