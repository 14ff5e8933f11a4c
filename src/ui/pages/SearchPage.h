#pragma once

#include "model/Match.h"

#include <QWidget>

class AppContext;
class MatchCard;
class MatchListView;
class QLineEdit;
class QPushButton;

// "Team1 vs Team2" → one match card: their next fixture, else their latest
// meeting, else a made-up fixture of the two so that it can still be
// predicted.
class SearchPage : public QWidget
{
    Q_OBJECT

public:
    explicit SearchPage(AppContext *context, QWidget *parent = nullptr);

    void search();
    void onFavoriteClicked(const Match &match, MatchCard *card);

    QLineEdit *queryEdit() const { return m_query; }
    MatchListView *list() const { return m_list; }

private:
    void showResult(const Match &match, bool hypothetical);

    AppContext *m_context;
    QLineEdit *m_query = nullptr;
    QPushButton *m_searchButton = nullptr;
    MatchListView *m_list = nullptr;
    // Only the latest search may fill the list.
    int m_generation = 0;
};
