#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QWidget>

class QButtonGroup;
class QPushButton;

// One entry of the navigation: page key, icon name, sidebar label.
struct NavItem
{
    QString key;
    QString icon;
    QString label;
};

// Every page of the window, in display order.
const QList<NavItem> &navItems();

// The navigation column: the application's name and one checkable button per
// page, exactly one of them checked.
class Sidebar : public QWidget
{
    Q_OBJECT

public:
    explicit Sidebar(QWidget *parent = nullptr);

    // Checks the key's button without emitting navigate.
    void setActive(const QString &key);
    QString currentKey() const { return m_current; }
    QPushButton *buttonFor(const QString &key) const { return m_buttons.value(key); }

signals:
    void navigate(const QString &key);

private:
    void onButtonClicked(const QString &key);

    QMap<QString, QPushButton *> m_buttons;
    QString m_current;
    QButtonGroup *m_group = nullptr;
};
