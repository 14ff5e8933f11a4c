#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QGraphicsOpacityEffect;
class QLabel;
class QProgressBar;
class QPropertyAnimation;
class QTimer;
class ToastManager;

// One notification card: the kind's icon, the message and a thin bar that
// runs down with the remaining display time. A click anywhere dismisses it.
class Toast : public QWidget
{
    Q_OBJECT

public:
    // Messages longer than this are cut, with an ellipsis.
    static constexpr int MaxMessageLength = 300;

    Toast(QWidget *host, const QString &message, const QString &kind, int durationMs, ToastManager *manager);

    // Leaves the stack at once, fades out and deletes itself. Only once.
    void dismiss();

    QString message() const;
    int remainingMs() const { return m_remainingMs; }
    bool isDismissing() const { return m_dismissing; }

    // The text shown for a message: cut to MaxMessageLength characters.
    static QString displayText(const QString &message);
    static QString colorFor(const QString &kind);
    static QString iconFor(const QString &kind);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    void tick();

    QLabel *m_label = nullptr;
    QProgressBar *m_bar = nullptr;
    QTimer *m_timer = nullptr;
    QGraphicsOpacityEffect *m_opacity = nullptr;
    QPointer<QPropertyAnimation> m_fadeIn;
    QPointer<ToastManager> m_manager;
    int m_remainingMs;
    bool m_dismissing = false;
};
