#pragma once

#include "ai/Scoring.h"

#include <QColor>
#include <QList>
#include <QWidget>

// Predicted chance against how often it came true, one dot per ten-point
// bin, sized by how many forecasts it holds, over the diagonal of a
// perfectly calibrated forecaster: dots under the line are overconfident.
class ReliabilityChart : public QWidget
{
    Q_OBJECT

public:
    explicit ReliabilityChart(QWidget *parent = nullptr);

    void setBins(const QList<CalibrationBin> &bins);
    // The dots in the accent colour; axes and labels in the theme's text
    // colours, so the chart reads on the light surface and the dark one.
    void setColors(const QColor &accent, const QColor &text, const QColor &muted);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<CalibrationBin> m_bins;
    QColor m_accent;
    QColor m_text;
    QColor m_muted;
};
