#pragma once

#include <QColor>
#include <QComboBox>

// A combo box that draws its own down arrow. An arrow image in the style
// sheet would have Qt load every installed image plugin while the first
// window is built, to learn the image's format. The colour comes from the
// style sheet (qproperty-arrowColor), like the rest of the theme.
class ComboBox : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(QColor arrowColor READ arrowColor WRITE setArrowColor)

public:
    explicit ComboBox(QWidget *parent = nullptr);

    QColor arrowColor() const { return m_arrowColor; }
    void setArrowColor(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_arrowColor = Qt::gray;
};
