#pragma once

#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <vector>

class QPushButton;
class QTimer;

// Works through a batch one item at a time behind a button that starts it
// ("Predict all", "Check all"). The button is disabled and reads the busy
// text while the batch runs. Items go at a fixed pace, or each one when the
// page reports the one before done (`next()`).
class BatchRunner : public QObject
{
    Q_OBJECT

public:
    // Starts an item; false when it no longer applies (its card or row went
    // away), and the next one goes at once.
    using Item = std::function<bool()>;

    // `busyText` takes the number of items as %1. With a pace of 0 the page
    // calls `next()` after each item.
    BatchRunner(QPushButton *button, const QString &busyText, int paceMs, QObject *parent);

    // Drops any run under way and starts `items`.
    void start(std::vector<Item> items);
    // The item started last is done: starts the next, or finishes.
    void next();

    bool isRunning() const { return m_running; }
    // Items not started yet.
    int pending() const { return int(m_items.size()); }
    // Drives a paced run; its interval is the pace.
    QTimer *timer() const { return m_timer; }

signals:
    void finished();

private:
    QPushButton *m_button;
    QString m_idleText;
    QString m_busyText;
    QTimer *m_timer;
    bool m_paced;
    std::deque<Item> m_items;
    bool m_running = false;
};
