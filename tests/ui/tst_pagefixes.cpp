#include "UiHarness.h"
#include "ui/common/WidgetHelpers.h"

#include <QTextDocument>
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

// Busy buttons (their size, whether they let the same work start twice) and
// outside text in tooltips.
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
        ui->open(QStringLiteral("live"));
        QPushButton *button = visibleButton(ui->window.get(), QStringLiteral("  Predict all"));
        QVERIFY(button);
        const int text =
            QFontMetrics(button->font()).horizontalAdvance(QStringLiteral("  Predicting 40\u2026"));
        QApplication::setFont(before);
        QVERIFY2(button->width() >= text + button->iconSize().width(), "the busy text would be cut off");
    }

    void singleCheck_staysBusyThroughARebuild()
    {
        const QString summary = QStringLiteral("/apis/site/v2/sports/soccer/all/summary");
        StubResponse slow = StubResponse::json("{}");
        slow.delayMs = 1500;
        ui->server.route(summary, slow);
        ui->open(QStringLiteral("live"));
        Prediction p;
        p.match_label = QStringLiteral("Arsenal vs Chelsea");
        p.league = QStringLiteral("English Premier League");
        p.match_id = QStringLiteral("401");
        p.outcome = QStringLiteral("HOME");
        p.scoreline = QStringLiteral("2-1");
        ui->context->history.add(p);
        ui->navigate(QStringLiteral("history"));
        QPushButton *check = nullptr;
        QTRY_VERIFY((check = visibleButton(ui->window.get(), QStringLiteral("  Check result"))));
        QTest::mouseClick(check, Qt::LeftButton);
        QTRY_COMPARE(ui->server.requestsTo(summary).size(), 1);

        // Showing the page again rebuilds its rows.
        ui->navigate(QStringLiteral("live"));
        ui->navigate(QStringLiteral("history"));
        QTRY_VERIFY((check = visibleButton(ui->window.get(), QStringLiteral("  Check result"))));
        QVERIFY(!check->isEnabled());
        QTest::mouseClick(visibleButton(ui->window.get(), QStringLiteral("  Check all")), Qt::LeftButton);
        QCOMPARE(ui->lastToast(),
                 QStringLiteral("Nothing to check — every prediction shown here is already checked."));
    }

    void toolTip_showsMarkupAsTyped()
    {
        const QString title = QStringLiteral("<img src=\"/dev/zero\"><b>Derby & more</b>");
        QTextDocument shown;
        shown.setHtml(plainToolTip(title));
        QCOMPARE(shown.toPlainText(), title);
    }
};

QTEST_MAIN(TestPageFixes)
#include "tst_pagefixes.moc"
