#pragma once

#include <QColor>
#include <QPoint>
#include <QWidget>

class QPushButton;

// The frameless window's own title bar: the application icon and the
// minimise, maximise and close buttons. Dragging it moves the window,
// double-clicking it maximises or restores.
class TitleBar : public QWidget
{
    Q_OBJECT

public:
    TitleBar(QWidget *window, const QColor &iconColor, QWidget *parent = nullptr);

    void setIconColor(const QColor &color);
    QColor iconColor() const { return m_iconColor; }
    void toggleMaximize();
    void updateMaxIcon();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPushButton *windowButton(const QString &icon, const QString &tooltip);
    void redrawIcons();

    QWidget *m_window;
    QColor m_iconColor;
    QPushButton *m_minimize = nullptr;
    QPushButton *m_maximize = nullptr;
    QPushButton *m_close = nullptr;
    // Set while the window is moved by hand because the window system
    // would not take the move over.
    bool m_dragging = false;
    QPoint m_dragOffset;
};
