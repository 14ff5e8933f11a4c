#pragma once

#include "model/Match.h"
#include "model/Prediction.h"

#include <QFrame>
#include <QString>

class PredictionCard;
class QLabel;
class QPixmap;
class QPushButton;
class QVBoxLayout;

// One fixture as a card: competition, both teams with their crests, the
// kick-off or score line, the favourite star and the predict button, and
// below them the prediction panel once there is one. The card does no
// network or model work itself: it raises signals that the card actions
// (wireCard) and the pages turn into work, and they call back into it.
class MatchCard : public QFrame
{
    Q_OBJECT

public:
    static constexpr int CrestSize = 40;

    MatchCard(const Match &match, bool favorite, QWidget *parent = nullptr);

    void setFavorite(bool on);
    // While on, the predict button is disabled and says so.
    void setPredicting(bool on);
    // Replaces any prediction panel with a new one for `prediction`.
    void showPrediction(const Prediction &prediction, const QString &context);
    void applyReasoning(const Prediction &prediction);
    void setReasoningLoading(bool on);
    // A quick prediction or a reasoning call is running for this card.
    bool isBusy() const;
    // side "home" for the home crest, anything else for the away crest.
    void setCrest(const QString &side, const QPixmap &pixmap);

    // A crest label showing the placeholder ball.
    static QLabel *crestLabel(QWidget *parent = nullptr);

    // The state below is public: the card actions and the pages read it.
    const Match match;
    Prediction prediction;
    QString context;
    bool hasPrediction = false;
    bool favorite = false;
    bool predicting = false;
    // Over before it could be predicted: the predict button stays disabled.
    const bool concluded;

    QLabel *homeCrest = nullptr;
    QLabel *awayCrest = nullptr;
    QLabel *homeName = nullptr;
    QLabel *awayName = nullptr;
    QLabel *leagueBadge = nullptr; // null without a league
    QLabel *liveBadge = nullptr;   // null unless in play
    QLabel *scoreLabel = nullptr;  // null unless in play
    QLabel *infoLabel = nullptr;   // kick-off, venue or full-time line
    QPushButton *favButton = nullptr;
    QPushButton *predictButton = nullptr;
    QVBoxLayout *predictionArea = nullptr;
    PredictionCard *predictionCard = nullptr;

signals:
    void predictClicked(const Match &match);
    void favoriteClicked(const Match &match);
    void reasoningRequested(MatchCard *card);

private:
    void updateFavIcon();
    void showPredictButtonReady();
};
