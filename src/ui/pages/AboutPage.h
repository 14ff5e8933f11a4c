#pragma once

#include <QWidget>

class QVBoxLayout;

// A static introduction: logo, name, version, what the program does, three
// figures and the credits.
class AboutPage : public QWidget
{
    Q_OBJECT

public:
    explicit AboutPage(QWidget *parent = nullptr);

private:
    QVBoxLayout *statColumn(const QString &value, const QString &caption);
};
