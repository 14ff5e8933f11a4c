#pragma once

#include <QString>

class QLabel;
class QPushButton;
class QWidget;

// A label that shows `text` exactly as typed: text from the data provider,
// the model or the user must never be read as markup.
QLabel *plainLabel(const QString &text, QWidget *parent);

// Shows `text` as the widget's tooltip as typed. Qt reads a tooltip that
// looks like HTML as HTML (an <img> in a chat title would be loaded), so the
// text goes in escaped inside a paragraph of its own.
void setPlainToolTip(QWidget *widget, const QString &text);
QString plainToolTip(const QString &text);

// Fixes the button's width to fit `longestText` beside its icon, so that it
// does not jump when its text changes. Measured with the font the style sheet
// gives it, so call it once the widget is shown.
void fitButtonToText(QPushButton *button, const QString &longestText);

// Fades a freshly built widget in over `durationMs`; the effect goes again
// once the widget is fully shown, because every paint through an effect
// renders off-screen first.
void fadeIn(QWidget *widget, int durationMs);
