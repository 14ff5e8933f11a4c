#pragma once

#include <QSizeGrip>

// The window's size grip: six dots against the corner, drawn here rather
// than from an image in the style sheet, which would have Qt load every
// installed image plugin while the first window is built.
class SizeGrip : public QSizeGrip
{
    Q_OBJECT

public:
    explicit SizeGrip(QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;
};
