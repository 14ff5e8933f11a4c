#include "ui/common/Theme.h"

#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// Renders a widget styled by the sheet and returns what it looks like.
QImage render(QWidget &widget, const QString &sheet)
{
    widget.setStyleSheet(sheet);
    widget.resize(160, 60);
    widget.ensurePolished();
    return widget.grab().toImage();
}

} // namespace

class TestTheme : public QObject
{
    Q_OBJECT

private slots:
    void everyCombination_isComplete_andParses()
    {
        // Qt reports a sheet it cannot parse as a warning and then ignores it
        // entirely: the whole program would lose its look.
        QTest::failOnWarning(QRegularExpression(u"[Cc]ould not parse"_s));
        for (const QString &theme : {u"dark"_s, u"light"_s}) {
            for (const QString &style : {u"standard"_s, u"legacy"_s}) {
                for (auto it = accentPalettes().constBegin(); it != accentPalettes().constEnd(); ++it) {
                    const QString sheet = buildStylesheet(theme, it.key(), style);
                    const QString where = theme + u'/' + style + u'/' + it.key();
                    QVERIFY2(!sheet.contains(u"{{"_s) && !sheet.contains(u"}}"_s), qPrintable(where));
                    QVERIFY2(sheet.contains(it.value().accent), qPrintable(where));
                    QCOMPARE(sheet.count(u'{'), sheet.count(u'}'));
                    QPushButton button(u"Go"_s);
                    button.setObjectName(u"PrimaryButton"_s);
                    render(button, sheet);
                }
            }
        }
    }

    void unknownNames_fallBack_data()
    {
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<QStringList>("given");
        QTest::newRow("accent") << QStringList{"dark", "chartreuse", "legacy"}
                                << QStringList{"dark", "green", "legacy"};
        // Names are case-sensitive.
        QTest::newRow("case") << QStringList{"Dark", "green", "Legacy"}
                              << QStringList{"light", "green", "standard"};
        QTest::newRow("none") << QStringList{"", "", ""}
                              << QStringList{"light", DEFAULT_ACCENT, DEFAULT_STYLE};
    }

    void unknownNames_fallBack()
    {
        QFETCH(QStringList, asked);
        QFETCH(QStringList, given);
        QCOMPARE(buildStylesheet(asked.at(0), asked.at(1), asked.at(2)),
                 buildStylesheet(given.at(0), given.at(1), given.at(2)));
    }

    void primaryButton_isPaintedInTheAccent()
    {
        QPushButton button(u"Go"_s);
        button.setObjectName(u"PrimaryButton"_s);
        const QString blue = accentPalettes().value(u"blue"_s).accent;
        // Left of the text, well inside the rounded corners.
        QCOMPARE(render(button, buildStylesheet(u"dark"_s, u"blue"_s, u"standard"_s)).pixelColor(12, 30),
                 QColor(blue));
        // The legacy look runs from a lighter shade at the top towards the accent.
        const QImage legacy = render(button, buildStylesheet(u"dark"_s, u"blue"_s, u"legacy"_s));
        QVERIFY(legacy.pixelColor(12, 4).lightness() > legacy.pixelColor(12, 55).lightness());
    }
};

QTEST_MAIN(TestTheme)
#include "tst_theme.moc"
