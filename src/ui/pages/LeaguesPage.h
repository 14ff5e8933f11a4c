#pragma once

#include "model/Match.h"

#include <QString>
#include <QWidget>

#include <vector>

class AppContext;
class MatchCard;
class MatchListView;
class QComboBox;
class QLabel;
class QPushButton;

// The upcoming fixtures of one tracked league as match cards. Reloads when
// shown, when the league changes and on "Refresh"; only the latest load's
// result is shown.
class LeaguesPage : public QWidget
{
    Q_OBJECT

public:
    explicit LeaguesPage(AppContext *context, QWidget *parent = nullptr);

    void refresh();
    void showMatches(const std::vector<Match> &matches, int generation);
    void showError(const QString &message, int generation);
    void onFavoriteClicked(const Match &match, MatchCard *card);

    MatchListView *list() const { return m_list; }
    QPushButton *refreshButton() const { return m_refresh; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void onLeagueChosen(int index);

    AppContext *m_context;
    QString m_league;
    int m_generation = 0;
    QComboBox *m_leagueBox = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_subtitle = nullptr;
    QPushButton *m_refresh = nullptr;
    MatchListView *m_list = nullptr;
};
