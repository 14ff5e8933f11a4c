// The yardstick of bench/speed.sh: the least a Qt Widgets program does to put
// a window of Tolvo's size on screen. Started with TOLVO_STARTUP_PROBE set, it
// prints the wall-clock time of its first paint the way the program does, so
// the two start-up times can be compared run for run.

#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

class ProbedWindow : public QWidget
{
protected:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // Queued, so the paint has reached the screen by then.
            QTimer::singleShot(0, qApp, [] {
                std::printf("first-paint-ms %lld\n",
                            static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return QWidget::event(event);
    }

private:
    bool m_seen = false;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ProbedWindow window;
    window.resize(1180, 760);
    window.show();
    return app.exec();
}
