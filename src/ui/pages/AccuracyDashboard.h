#pragma once

#include <QFrame>
#include <QString>

class AppContext;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLayout;
class ReliabilityChart;
struct AccuracyStats;
struct ScoreReport;

// The "AI Track Record" card at the head of the history page: animated
// number tiles (accuracy, correct calls, streaks, confident calls) and the
// six busiest leagues with a bar each, or a sentence while nothing has been
// checked. It only shows what the history page computed.
class AccuracyDashboard : public QFrame
{
    Q_OBJECT

public:
    explicit AccuracyDashboard(AppContext *context, QWidget *parent = nullptr);

    void updateStats(const AccuracyStats &stats);

    // Leagues shown in the table; the rest of the statistics' list is left out.
    static constexpr int MaxLeagueRows = 6;

private:
    void rebuildTiles(const AccuracyStats &stats);
    void rebuildLeagues(const AccuracyStats &stats);
    // The probability scores beside the base rate, the bookmakers and the
    // reliability chart; hidden while no pre-match call has been checked.
    void rebuildScores(const ScoreReport &report);
    // A value label over a caption. A negative value shows `text` as it is;
    // otherwise the label counts up from 0 to value, followed by suffix.
    QWidget *tile(const QString &text, int value, const QString &suffix, const QString &caption,
                  const QString &color);
    // The accent colour of the settings, for highlights.
    QString accent() const;
    static void clearLayout(QLayout *layout);

    AppContext *m_context;
    QLabel *m_subtitle = nullptr;
    QLabel *m_empty = nullptr;
    QWidget *m_content = nullptr;
    QHBoxLayout *m_tiles = nullptr;
    QGridLayout *m_leagues = nullptr;
    QWidget *m_scoring = nullptr;
    QHBoxLayout *m_scoreTiles = nullptr;
    QLabel *m_market = nullptr;
    QLabel *m_draws = nullptr;
    QLabel *m_inPlay = nullptr;
    ReliabilityChart *m_chart = nullptr;
};
