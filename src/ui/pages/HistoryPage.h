#pragma once

#include "model/Prediction.h"

#include <QList>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QWidget>

#include <deque>

class AccuracyDashboard;
class AppContext;
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

    // Whether rows of the last refresh are still to be built.
    bool rowsPending() const { return !m_pendingRows.isEmpty(); }

    // Whether any filter narrows the list.
    bool activeFilters() const;
    // The predictions that pass the current filters, in the given order.
    QList<Prediction> filtered(const QList<Prediction> &predictions) const;

    static const QString DefaultSubtitle;

    // Rows built at once by a refresh (more than a tall window shows), and
    // on each later turn of the event loop until the list is complete.
    static constexpr int FirstBatchRows = 24;
    static constexpr int LaterBatchRows = 48;
    // Pause in typing after which the list follows the search text.
    static constexpr int SearchDelayMs = 150;

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct RowEntry
    {
        Prediction prediction;
        QPointer<QFrame> frame;
    };

    void syncLeagueCombo(const QList<Prediction> &predictions);
    void appendRows(int count);
    void scheduleMoreRows();
    void finishPendingRows();
    QFrame *buildRow(const Prediction &prediction, QWidget *parent);
    void checkResultRow(const Prediction &prediction, QFrame *rowFrame, bool fromQueue);
    void onCheckDone(const Prediction &checked, const QPointer<QFrame> &rowFrame, bool fromQueue);
    void onCheckFailed(const Prediction &prediction, const QString &message, const QPointer<QFrame> &rowFrame,
                       bool fromQueue);
    void checkAll();
    void advanceCheckQueue();
    void pumpCheck();
    void finishCheckAll();
    void onFilterChanged();
    void clearFilters();
    void confirmClear();
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
    // Filtered predictions whose rows are still to be built, in order.
    QList<Prediction> m_pendingRows;
    bool m_pendingFade = false;
    QTimer *m_rowTimer = nullptr;
    QTimer *m_searchTimer = nullptr;
    std::deque<RowEntry> m_queue;
    // Ids of the predictions whose check is on its way: a row rebuilt
    // meanwhile shows its button disabled, and "Check all" leaves them out.
    QSet<QString> m_checking;
    int m_checkCorrect = 0;
    int m_checkWrong = 0;
    int m_checkSkipped = 0;
};
