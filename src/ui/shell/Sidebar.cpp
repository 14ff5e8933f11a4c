#include "Sidebar.h"

#include "ui/common/Icons.h"
#include "ui/common/Theme.h"

#include <QButtonGroup>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

const QList<NavItem> &navItems()
{
    static const QList<NavItem> items = {
        {QStringLiteral("leagues"), QStringLiteral("trophy"), QStringLiteral("Leagues & Fixtures")},
        {QStringLiteral("live"), QStringLiteral("tower-broadcast"), QStringLiteral("Live & Today")},
        {QStringLiteral("search"), QStringLiteral("magnifying-glass"), QStringLiteral("Team Search")},
        {QStringLiteral("chat"), QStringLiteral("comments"), QStringLiteral("Ask AI")},
        {QStringLiteral("favorites"), QStringLiteral("star"), QStringLiteral("Favorites")},
        {QStringLiteral("history"), QStringLiteral("clock-rotate-left"), QStringLiteral("History")},
        {QStringLiteral("feedback"), QStringLiteral("bug"), QStringLiteral("Send Feedback")},
        {QStringLiteral("update"), QStringLiteral("rotate"), QStringLiteral("Update")},
        {QStringLiteral("settings"), QStringLiteral("gear"), QStringLiteral("Settings")},
        {QStringLiteral("about"), QStringLiteral("circle-info"), QStringLiteral("About")},
    };
    return items;
}

Sidebar::Sidebar(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Sidebar"));
    setAttribute(Qt::WA_StyledBackground);
    setFixedWidth(220);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 14, 10, 14);
    layout->setSpacing(4);

    auto *title = new QLabel(QStringLiteral("Tolvo"), this);
    title->setObjectName(QStringLiteral("AppTitle"));
    layout->addWidget(title);

    m_group = new QButtonGroup(this);
    m_group->setExclusive(true);
    for (const NavItem &item : navItems()) {
        QString label = item.label;
        // "&" would otherwise be read as a keyboard mnemonic and vanish.
        label.replace(QLatin1Char('&'), QStringLiteral("&&"));
        auto *button = new QPushButton(QStringLiteral("  ") + label, this);
        button->setObjectName(QStringLiteral("SidebarNavButton"));
        button->setCheckable(true);
        button->setCursor(Qt::PointingHandCursor);
        button->setIcon(faCheckableIcon(item.icon, QColor(ICON_MUTED), QColor(Qt::white), 16));
        button->setIconSize(QSize(16, 16));
        m_group->addButton(button);
        m_buttons.insert(item.key, button);
        const QString key = item.key;
        connect(button, &QPushButton::clicked, this, [this, key]() { onButtonClicked(key); });
        layout->addWidget(button);
    }
    layout->addStretch(1);
}

void Sidebar::setActive(const QString &key)
{
    QPushButton *button = m_buttons.value(key);
    if (!button)
        return;
    m_current = key;
    button->setChecked(true);
}

void Sidebar::onButtonClicked(const QString &key)
{
    m_current = key;
    emit navigate(key);
}
