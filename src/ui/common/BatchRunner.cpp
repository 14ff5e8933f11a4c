#include "BatchRunner.h"

#include <QPushButton>
#include <QTimer>

BatchRunner::BatchRunner(QPushButton *button, const QString &busyText, int paceMs, QObject *parent)
    : QObject(parent)
    , m_button(button)
    , m_idleText(button->text())
    , m_busyText(busyText)
    , m_timer(new QTimer(this))
    , m_paced(paceMs > 0)
{
    m_timer->setInterval(paceMs);
    connect(m_timer, &QTimer::timeout, this, &BatchRunner::next);
}

void BatchRunner::start(std::vector<Item> items)
{
    m_timer->stop();
    m_items.assign(std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
    m_running = true;
    m_button->setEnabled(false);
    m_button->setText(m_busyText.arg(int(m_items.size())));
    // A paced run waits one beat before its first item.
    if (m_paced)
        m_timer->start();
    else
        next();
}

void BatchRunner::next()
{
    while (!m_items.empty()) {
        const Item item = std::move(m_items.front());
        m_items.pop_front();
        if (item())
            return;
    }
    m_timer->stop();
    m_running = false;
    m_button->setEnabled(true);
    m_button->setText(m_idleText);
    emit finished();
}
