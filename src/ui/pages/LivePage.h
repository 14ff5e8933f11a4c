#pragma once

#include "model/Match.h"

#include <QMap>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <vector>

class AppContext;
class BatchRunner;
class GoalNotifier;
class MatchCard;
class MatchListView;
class QComboBox;
class QLabel;
class QPushButton;
class QTimer;

// Today's fixtures still to play or in play, across every tracked league or
// one of them. Refreshes itself on a timer, announces goals from any page,
// and can queue a prediction for every fixture shown ("Predict all").
class LivePage : public QWidget
{
    Q_OBJECT

public:
    // At most this many cards are queued by one "Predict all".
    static constexpr int MaxQueued = 40;

    explicit LivePage(AppContext *context, QWidget *parent = nullptr);

    void refresh();
    // Blocking: runs on a worker thread.
    std::vector<Match> fetchToday(const QString &filter) const;
    void showMatches(const std::vector<Match> &matches, int generation);
    void showError(const QString &message, int generation);
    void detectGoals(const std::vector<Match> &matches);
    void predictAll();
    void onFavoriteClicked(const Match &match, MatchCard *card);

    // "every minute", "every 15 seconds"...: the status line's words for
    // a refresh period.
    static QString refreshPeriodText(int seconds);

    MatchListView *list() const { return m_list; }
    QPushButton *refreshButton() const { return m_refreshButton; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void onLeagueChosen(int index);
    void autoRefresh();

    AppContext *m_context;
    QString m_filter;
    int m_generation = 0;
    QMap<QString, int> m_lastTotals;
    QString m_periodText;
    QComboBox *m_leagueBox = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_predictAll = nullptr;
    QPushButton *m_refreshButton = nullptr;
    MatchListView *m_list = nullptr;
    QTimer *m_refreshTimer = nullptr;
    BatchRunner *m_predictRunner = nullptr;
    GoalNotifier *m_notifier = nullptr;
    // The generation whose fetch is still running, 0 when none is.
    int m_fetching = 0;
};
