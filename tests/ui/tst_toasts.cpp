#include "ui/shell/Toast.h"
#include "ui/shell/ToastManager.h"

#include <QLabel>
#include <QProgressBar>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestToasts : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QWidget> host;
    ToastManager *manager = nullptr;

    void makeHost(int width, int height)
    {
        host = std::make_unique<QWidget>();
        host->resize(width, height);
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host.get()));
        manager = new ToastManager(host.get());
    }
    Toast *show(const QString &message, int ms = 3400) { return manager->show(message, u"info"_s, ms); }

private slots:
    void init() { makeHost(1000, 700); }
    void cleanup() { host.reset(); }

    void longMessage_isCutWithAnEllipsis_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("fits") << QString(300, 'b') << QString(300, 'b');
        QTest::newRow("too long") << QString(400, 'a') << QString(297, 'a') + QChar(0x2026);
        // Blanks before the cut are trimmed away.
        QTest::newRow("blanks") << QString(290, 'c') + QString(20, ' ') << QString(290, 'c') + QChar(0x2026);
        // An emoji straddling the cut is dropped whole, not split in half.
        QTest::newRow("emoji") << QString(296, 'd') + u"\U0001F600"_s + QString(10, 'e')
                               << QString(296, 'd') + QChar(0x2026);
    }

    void longMessage_isCutWithAnEllipsis()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(show(message)->message(), shown);
    }

    void toasts_stackInTheCorner_andCloseTheGapWhenOneGoes()
    {
        Toast *oldest = show(u"one"_s);
        QPointer<Toast> middle = show(u"two\nlines"_s);
        Toast *newest = show(u"three"_s);
        QCOMPARE(newest->geometry().bottomRight() + QPoint(1, 1),
                 QPoint(host->width() - 20, host->height() - 20));
        QCOMPARE(middle->geometry().bottom() + 1, newest->y() - 10);
        QCOMPARE(oldest->geometry().bottom() + 1, middle->y() - 10);

        QTest::mouseClick(middle, Qt::LeftButton, {}, QPoint(40, 10));
        middle->dismiss(); // a second dismissal changes nothing
        QCOMPARE(manager->toasts(), (QList<Toast *>{oldest, newest}));
        QCOMPARE(oldest->geometry().bottom() + 1, newest->y() - 10);
        QTRY_VERIFY(middle.isNull());

        host->resize(1300, 900);
        QCOMPARE(newest->geometry().bottomRight() + QPoint(1, 1), QPoint(1280, 880));
    }
};

QTEST_MAIN(TestToasts)
#include "tst_toasts.moc"
