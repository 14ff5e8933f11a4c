#include "ui/common/Icons.h"
#include "ui/shell/Toast.h"
#include "ui/shell/ToastManager.h"

#include <QLabel>
#include <QProgressBar>
#include <QtTest>

namespace {

QLabel *iconLabel(Toast *toast)
{
    for (QLabel *label : toast->findChildren<QLabel *>()) {
        if (!label->pixmap().isNull())
            return label;
    }
    return nullptr;
}

} // namespace

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

private slots:
    void init() { makeHost(1000, 700); }
    void cleanup() { host.reset(); }

    void width_followsTheHostWithinLimits()
    {
        makeHost(300, 500);
        QCOMPARE(manager->show(QStringLiteral("narrow"), QStringLiteral("info"), 3400)->width(), 320);
        makeHost(400, 500);
        QCOMPARE(manager->show(QStringLiteral("medium"), QStringLiteral("info"), 3400)->width(), 360);
        makeHost(1200, 500);
        QCOMPARE(manager->show(QStringLiteral("wide"), QStringLiteral("info"), 3400)->width(), 460);
    }

    void height_growsWithTheTextButStaysInsideTheHost()
    {
        Toast *shortToast = manager->show(QStringLiteral("Saved"), QStringLiteral("success"), 3400);
        const QString words = QStringLiteral("word ").repeated(56);
        Toast *longToast = manager->show(words, QStringLiteral("info"), 3400);
        QVERIFY(longToast->height() > shortToast->height());

        makeHost(500, 90);
        Toast *capped = manager->show(words, QStringLiteral("error"), 3400);
        QCOMPARE(capped->height(), 50);
    }

    void longMessage_isCutWithAnEllipsis()
    {
        const QString message = QString(400, QLatin1Char('a'));
        Toast *toast = manager->show(message, QStringLiteral("info"), 3400);
        QCOMPARE(toast->message(), QString(297, QLatin1Char('a')) + QChar(0x2026));
        QCOMPARE(Toast::displayText(QString(300, QLatin1Char('b'))), QString(300, QLatin1Char('b')));
        // Blanks before the cut are trimmed away.
        QCOMPARE(Toast::displayText(QString(290, QLatin1Char('c')) + QString(20, QLatin1Char(' '))),
                 QString(290, QLatin1Char('c')) + QChar(0x2026));
        // An emoji straddling the cut is dropped whole, not split in half.
        const QString emoji =
            QString(296, QLatin1Char('d')) + QStringLiteral("\U0001F600") + QString(10, QLatin1Char('e'));
        const QString cut = Toast::displayText(emoji);
        QCOMPARE(cut, QString(296, QLatin1Char('d')) + QChar(0x2026));
    }

    void messages_areShownAsPlainText()
    {
        Toast *toast =
            manager->show(QStringLiteral("<b>Server said</b> &amp;"), QStringLiteral("error"), 3400);
        QLabel *text = nullptr;
        for (QLabel *label : toast->findChildren<QLabel *>()) {
            if (label->pixmap().isNull())
                text = label;
        }
        QVERIFY(text);
        QCOMPARE(text->textFormat(), Qt::PlainText);
        QCOMPARE(text->text(), QStringLiteral("<b>Server said</b> &amp;"));
    }

    void kinds_pickIconAndColour()
    {
        const struct
        {
            const char *kind;
            const char *icon;
            const char *colour;
        } cases[] = {{"success", "circle-check", "#1CB05A"},
                     {"error", "circle-exclamation", "#E5484D"},
                     {"info", "circle-info", "#3B82F6"},
                     {"warning", "circle-info", "#3B82F6"},
                     {"", "circle-info", "#3B82F6"}};
        for (const auto &c : cases) {
            Toast *toast = manager->show(QStringLiteral("message"), QLatin1String(c.kind), 3400);
            QLabel *icon = iconLabel(toast);
            QVERIFY2(icon, c.kind);
            QCOMPARE(icon->pixmap().toImage(),
                     faPixmap(QLatin1String(c.icon), QColor(QLatin1String(c.colour)), 18).toImage());
            QVERIFY2(toast->styleSheet().contains(QLatin1String(c.colour)), c.kind);
        }
    }

    void toasts_stackUpwardsFromTheBottomRightCorner()
    {
        Toast *oldest = manager->show(QStringLiteral("one"), QStringLiteral("info"), 3400);
        Toast *middle = manager->show(QStringLiteral("two\nlines"), QStringLiteral("success"), 3400);
        Toast *newest = manager->show(QStringLiteral("three"), QStringLiteral("error"), 3400);
        QCOMPARE(newest->geometry().right() + 1, host->width() - 20);
        QCOMPARE(newest->geometry().bottom() + 1, host->height() - 20);
        QCOMPARE(middle->geometry().bottom() + 1, newest->y() - 10);
        QCOMPARE(oldest->geometry().bottom() + 1, middle->y() - 10);
        QCOMPARE(oldest->geometry().right(), newest->geometry().right());
        QCOMPARE(manager->toasts(), (QList<Toast *>{oldest, middle, newest}));
    }

    void clickingTheMiddleToast_closesTheGapAtOnce()
    {
        Toast *oldest = manager->show(QStringLiteral("one"), QStringLiteral("info"), 3400);
        QPointer<Toast> middle = manager->show(QStringLiteral("two"), QStringLiteral("info"), 3400);
        Toast *newest = manager->show(QStringLiteral("three"), QStringLiteral("info"), 3400);
        QTest::mouseClick(middle, Qt::LeftButton, {}, QPoint(40, 10));
        QVERIFY(middle->isDismissing());
        QCOMPARE(manager->toasts(), (QList<Toast *>{oldest, newest}));
        QCOMPARE(oldest->geometry().bottom() + 1, newest->y() - 10);
        // It fades out, then goes away for good.
        QTRY_VERIFY_WITH_TIMEOUT(middle.isNull(), 2000);
        QCOMPARE(oldest->geometry().bottom() + 1, newest->y() - 10);
    }

    void countdown_runsTheBarDownAndDismisses()
    {
        QPointer<Toast> toast = manager->show(QStringLiteral("brief"), QStringLiteral("info"), 400);
        auto *bar = toast->findChild<QProgressBar *>();
        QVERIFY(bar);
        QCOMPARE(bar->maximum(), 400);
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() < 400, 1000);
        QTRY_VERIFY_WITH_TIMEOUT(toast.isNull(), 3000);
        QVERIFY(manager->toasts().isEmpty());
    }

    void dismiss_secondCallDoesNothing()
    {
        Toast *first = manager->show(QStringLiteral("one"), QStringLiteral("info"), 3400);
        QPointer<Toast> toast = manager->show(QStringLiteral("two"), QStringLiteral("info"), 3400);
        toast->dismiss();
        toast->dismiss();
        QCOMPARE(manager->toasts(), QList<Toast *>{first});
        QTRY_VERIFY_WITH_TIMEOUT(toast.isNull(), 2000);
    }

    void hostResize_keepsTheStackInTheCorner()
    {
        Toast *toast = manager->show(QStringLiteral("one"), QStringLiteral("info"), 3400);
        host->resize(1300, 900);
        QCOMPARE(toast->geometry().right() + 1, 1300 - 20);
        QCOMPARE(toast->geometry().bottom() + 1, 900 - 20);
    }
};

QTEST_MAIN(TestToasts)
#include "tst_toasts.moc"
