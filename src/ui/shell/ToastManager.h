#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;
class Toast;

// Transient notification cards stacked in the host's bottom-right corner,
// newest at the bottom, growing upwards. GUI thread only.
class ToastManager : public QObject
{
    Q_OBJECT

public:
    explicit ToastManager(QWidget *host);

    // kind: "success", "error" or anything else for an information toast.
    Toast *show(const QString &message, const QString &kind, int durationMs);
    // Takes a toast out of the stack (it fades out on its own).
    void remove(Toast *toast);
    void relayout();

    // Visible toasts, oldest first.
    QList<Toast *> toasts() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_host;
    QList<QPointer<Toast>> m_toasts;
};
