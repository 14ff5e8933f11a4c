#pragma once

#include "model/Prediction.h"

#include <QFrame>
#include <QString>
#include <QStringList>

class QHBoxLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The panel inside a match card once a prediction exists: the pick, the
// predicted score, the three probabilities, the confidence, buttons for the
// reasoning and for copying, and a footer with model, cost and time.
class PredictionCard : public QFrame
{
    Q_OBJECT

public:
    explicit PredictionCard(const Prediction &prediction, QWidget *parent = nullptr);

    // While on, the reasoning button is disabled and says so.
    void setLoadingReasoning(bool on);
    // Shows (or replaces) the written reasoning; the reasoning button goes.
    void showReasoning(const QString &summary, const QStringList &keyFactors);
    // The prediction as plain text on the clipboard.
    void onCopyClicked();

    // "Home win", "Draw", "Away win", or the outcome as given.
    static QString outcomeLabel(const QString &outcome);
    // What the copy button puts on the clipboard.
    static QString copyText(const Prediction &prediction);

    Prediction prediction;
    QVBoxLayout *mainLayout = nullptr;
    QHBoxLayout *actionRow = nullptr;
    QPushButton *reasoningButton = nullptr; // null once the reasoning is shown
    QPushButton *copyButton = nullptr;
    int reasoningInsertIndex = 0;
    bool loadingReasoning = false;

    QLabel *pickLabel = nullptr;
    QLabel *scoreLabel = nullptr;
    QLabel *confidenceValue = nullptr;
    QLabel *footerLabel = nullptr;
    QLabel *summaryLabel = nullptr; // null until there is a summary
    QLabel *factorsLabel = nullptr; // null until there are key factors

signals:
    void reasoningRequested();

private:
    // The column captions over the AI's and the bookmakers' percentages.
    void addMarketHeader();
    // A name, a bar and the AI's percentage; the bookmakers' beside it when
    // there is a market snapshot.
    void addProbabilityRow(const QString &name, int percent, const QString &objectName,
                           std::optional<double> market);

    static constexpr int MarketColumnWidth = 50;
    QLabel *insertReasoningLabel(const QString &text);
};
