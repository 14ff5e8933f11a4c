#include "app/Constants.h"
#include "app/League.h"
#include "ui/pages/AboutPage.h"

#include <QLabel>
#include <QScrollArea>
#include <QtTest>

class TestAboutPage : public QObject
{
    Q_OBJECT

private:
    static QLabel *withRole(const QWidget &page, const char *role)
    {
        for (QLabel *label : page.findChildren<QLabel *>()) {
            if (label->property("role").toString() == QLatin1String(role))
                return label;
        }
        return nullptr;
    }

private slots:
    void showsWhatTheProgramIs()
    {
        AboutPage page;
        page.resize(900, 700);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));

        auto *logo = page.findChild<QLabel *>(QStringLiteral("AboutLogo"));
        QCOMPARE(logo->pixmap().size(), QSize(96, 96));
        QVERIFY(withRole(page, "AboutVersion")->text().startsWith(QStringLiteral("Version ") + APP_VERSION));
        const QString description = page.findChild<QLabel *>(QStringLiteral("AboutDescription"))->text();
        QVERIFY(description.endsWith(QStringLiteral(
            "Pick a league from the sidebar, or search any “Team1 vs Team2” matchup directly.")));
        QCOMPARE(page.findChild<QLabel *>(QStringLiteral("AboutDescription"))->width(), 440);
        QVERIFY(withRole(page, "AboutCredits")
                    ->text()
                    .startsWith(QStringLiteral("Powered by OpenAI · Fixture data from ESPN\n")));

        // Three figures: two about the code base, then the leagues.
        const QList<QLabel *> figures = page.findChildren<QLabel *>(QStringLiteral("StatValue"));
        QCOMPARE(figures.size(), 3);
        QCOMPARE(figures.at(2)->text(), QString::number(defaultLeagues().size()));
        for (QLabel *figure : figures)
            QVERIFY2(!figure->text().isEmpty() && figure->text().at(0).isDigit() &&
                         figure->text() != QLatin1String("0"),
                     qPrintable(figure->text()));

        auto *scroll = page.findChild<QScrollArea *>(QStringLiteral("ChatScroll"));
        QCOMPARE(scroll->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    }
};

QTEST_MAIN(TestAboutPage)
#include "tst_aboutpage.moc"
