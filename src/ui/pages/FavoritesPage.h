#pragma once

#include <QWidget>

class AppContext;
class MatchListView;

// The starred fixtures as match cards, straight from the favourites store:
// the snapshots saved when they were starred, nothing fetched. Rebuilt when
// shown and after every unstar.
class FavoritesPage : public QWidget
{
    Q_OBJECT

public:
    explicit FavoritesPage(AppContext *context, QWidget *parent = nullptr);

    void refresh();

protected:
    void showEvent(QShowEvent *event) override;

private:
    AppContext *m_context;
    MatchListView *m_list = nullptr;
};
