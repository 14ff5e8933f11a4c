#pragma once

#include "model/Match.h"
#include "model/Prediction.h"

#include <QHash>
#include <QPointer>
#include <QScrollArea>
#include <QString>

#include <utility>
#include <vector>

class MatchCard;
class QGraphicsOpacityEffect;
class QLabel;
class QVBoxLayout;

// The scrolling column of match cards each fixture page owns, or a message
// in place of the cards ("Loading fixtures…", an error, an empty day).
//
// Pages rebuild their cards on every reload; a prediction shown on a card
// that was cleared comes back on the fresh card of the same fixture, so a
// reload never hides a call the user paid for.
class MatchListView : public QScrollArea
{
    Q_OBJECT

public:
    explicit MatchListView(QWidget *parent = nullptr);

    // A new card at the end of the list, showing the fixture's earlier
    // prediction if a cleared card had one; the caller wires it and loads
    // its crests.
    MatchCard *addMatch(const Match &match, bool favorite);
    // Removes every card (deleted later, so a card whose signal is being
    // handled survives the handler) and hides the message.
    void clear();
    void setMessage(const QString &text);
    std::vector<MatchCard *> cards() const;

    // The message shown, or an empty text while the list shows cards.
    QString message() const;
    QLabel *messageLabel() const { return m_message; }

private:
    void startFadeIn();

    QWidget *m_inner = nullptr;
    QVBoxLayout *m_layout = nullptr;
    QLabel *m_message = nullptr;
    QPointer<QGraphicsOpacityEffect> m_fade;
    // Prediction and context of cleared cards, by match id.
    QHash<QString, std::pair<Prediction, QString>> m_shown;
};
