#include "UiHarness.h"

#include <QtTest>

#include <memory>

namespace {

QPushButton *visibleButton(QWidget *root, const QString &text)
{
    for (QPushButton *button : root->findChildren<QPushButton *>()) {
        if (button->text() == text && button->isVisible())
            return button;
    }
    return nullptr;
}

} // namespace

// Busy buttons: their size, and whether they let the same work start twice.
class TestPageFixes : public QObject
{
    Q_OBJECT

    std::unique_ptr<UiHarness> ui;

private slots:
    void init() { ui = std::make_unique<UiHarness>(); }
    void cleanup() { ui.reset(); }

    void predictAll_fitsItsBusyTextInTheStyledFont()
    {
        const QFont before = QApplication::font();
        QApplication::setFont(QFont(before.family(), 9));
        ui->open(u"live"_s);
        QPushButton *button = visibleButton(ui->window.get(), u"  Predict all"_s);
        QVERIFY(button);
        const int text = QFontMetrics(button->font()).horizontalAdvance(u"  Predicting 40\u2026"_s);
        QApplication::setFont(before);
        QVERIFY2(button->width() >= text + button->iconSize().width(), "the busy text would be cut off");
    }

    void singleCheck_staysBusyThroughARebuild()
    {
        const QString summary = u"/apis/site/v2/sports/soccer/all/summary"_s;
        StubResponse slow = StubResponse::json("{}");
        slow.delayMs = 1500;
        ui->server.route(summary, slow);
        ui->open(u"live"_s);
        Prediction p;
        p.match_label = u"Arsenal vs Chelsea"_s;
        p.league = u"English Premier League"_s;
        p.match_id = u"401"_s;
        p.outcome = u"HOME"_s;
        p.scoreline = u"2-1"_s;
        ui->context->history.add(p);
        ui->navigate(u"history"_s);
        QPushButton *check = nullptr;
        QTRY_VERIFY((check = visibleButton(ui->window.get(), u"  Check result"_s)));
        QTest::mouseClick(check, Qt::LeftButton);
        QTRY_COMPARE(ui->server.requestsTo(summary).size(), 1);

        // Showing the page again rebuilds its rows.
        ui->navigate(u"live"_s);
        ui->navigate(u"history"_s);
        QTRY_VERIFY((check = visibleButton(ui->window.get(), u"  Check result"_s)));
        QVERIFY(!check->isEnabled());
        QTest::mouseClick(visibleButton(ui->window.get(), u"  Check all"_s), Qt::LeftButton);
        QCOMPARE(ui->lastToast(), u"Nothing to check — every prediction shown here is already checked."_s);
    }
};

QTEST_MAIN(TestPageFixes)
#include "tst_pagefixes.moc"
