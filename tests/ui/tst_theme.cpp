#include "ui/common/Theme.h"

#include <QFrame>
#include <QImage>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

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
    void darkGreenStandard_flatSheetWithDarkColours()
    {
        const QString sheet =
            buildStylesheet(QStringLiteral("dark"), QStringLiteral("green"), QStringLiteral("standard"));
        QVERIFY(sheet.startsWith(QStringLiteral("QWidget {")));
        QVERIFY(sheet.contains(QStringLiteral("#14171C")));
        QVERIFY(sheet.contains(QStringLiteral("#1CB05A")));
        QVERIFY(sheet.contains(QStringLiteral("rgba(255, 255, 255, 14)")));
        QVERIFY(!sheet.contains(QStringLiteral("{{")));
        QVERIFY(!sheet.contains(QStringLiteral("qlineargradient")));
        // The bright accent belongs to the gradients only.
        QVERIFY(!sheet.contains(QStringLiteral("#6FDB9C")));
    }

    void lightUnknownAccentLegacy_fallsBackToGreenWithGradients()
    {
        const QString sheet =
            buildStylesheet(QStringLiteral("light"), QStringLiteral("chartreuse"), QStringLiteral("legacy"));
        QVERIFY(sheet.contains(QStringLiteral("#1CB05A")));
        QVERIFY(sheet.contains(QStringLiteral("#F4F6F8")));
        QVERIFY(!sheet.contains(QStringLiteral("#14171C")));
        QVERIFY(sheet.contains(QStringLiteral("qlineargradient")));
        QVERIFY(sheet.contains(QStringLiteral("#6FDB9C")));
        QVERIFY(sheet.contains(QStringLiteral("rgba(0, 0, 0, 10)")));
        QVERIFY(!sheet.contains(QStringLiteral("rgba(255, 255, 255, 14)")));
    }

    void themeAndStyleNames_areCaseSensitive()
    {
        const QString sheet =
            buildStylesheet(QStringLiteral("Dark"), QStringLiteral("green"), QStringLiteral("Legacy"));
        QVERIFY(sheet.contains(QStringLiteral("#F4F6F8")));
        QVERIFY(!sheet.contains(QStringLiteral("#14171C")));
        QVERIFY(!sheet.contains(QStringLiteral("qlineargradient")));
        QCOMPARE(buildStylesheet(QString(), QString(), QString()),
                 buildStylesheet(QStringLiteral("light"), DEFAULT_ACCENT, DEFAULT_STYLE));
    }

    void everyCombination_substitutesEveryTokenAndParses()
    {
        // Qt reports a sheet it cannot parse as a warning and then ignores it
        // entirely: the whole program would lose its look.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("[Cc]ould not parse")));
        const QStringList themes = {QStringLiteral("dark"), QStringLiteral("light")};
        const QStringList styles = {QStringLiteral("standard"), QStringLiteral("legacy")};
        const auto &accents = accentPalettes();
        for (const QString &theme : themes) {
            for (const QString &style : styles) {
                for (auto it = accents.constBegin(); it != accents.constEnd(); ++it) {
                    const QString sheet = buildStylesheet(theme, it.key(), style);
                    const QString where = theme + QLatin1Char('/') + style + QLatin1Char('/') + it.key();
                    QVERIFY2(!sheet.contains(QStringLiteral("{{")) && !sheet.contains(QStringLiteral("}}")),
                             qPrintable(where));
                    QVERIFY2(sheet.contains(it.value().accent), qPrintable(where));
                    QVERIFY2(sheet.contains(paletteFor(theme).textDim), qPrintable(where));
                    QCOMPARE(sheet.count(QLatin1Char('{')), sheet.count(QLatin1Char('}')));
                    QPushButton button(QStringLiteral("Go"));
                    button.setObjectName(QStringLiteral("PrimaryButton"));
                    render(button, sheet);
                }
            }
        }
    }

    void primaryButton_isPaintedInTheAccent()
    {
        QPushButton button(QStringLiteral("Go"));
        button.setObjectName(QStringLiteral("PrimaryButton"));
        const QImage flat = render(button, buildStylesheet(QStringLiteral("dark"), QStringLiteral("blue"),
                                                           QStringLiteral("standard")));
        // Left of the text, well inside the rounded corners.
        QCOMPARE(flat.pixelColor(12, 30), QColor(QStringLiteral("#2F7DE1")));

        const QImage legacy = render(button, buildStylesheet(QStringLiteral("dark"), QStringLiteral("blue"),
                                                             QStringLiteral("legacy")));
        // From the hover shade at the top towards the accent at the bottom.
        const QColor top = legacy.pixelColor(12, 4);
        const QColor bottom = legacy.pixelColor(12, 55);
        QVERIFY2(top.lightness() > bottom.lightness(),
                 qPrintable(top.name() + QLatin1Char(' ') + bottom.name()));
    }

    void card_takesTheThemeSurface()
    {
        QFrame card;
        card.setObjectName(QStringLiteral("Card"));
        QCOMPARE(
            render(card, buildStylesheet(QStringLiteral("dark"), QString(), QString())).pixelColor(80, 30),
            QColor(QStringLiteral("#1B1F26")));
        QCOMPARE(
            render(card, buildStylesheet(QStringLiteral("light"), QString(), QString())).pixelColor(80, 30),
            QColor(QStringLiteral("#FFFFFF")));
    }

    void lighten_mixesTowardsWhite()
    {
        QCOMPARE(lighten(QStringLiteral("#22C766"), 0.35), QStringLiteral("#6FDB9C"));
        // 127.5 rounds away from zero.
        QCOMPARE(lighten(QStringLiteral("#000000"), 0.5), QStringLiteral("#808080"));
        QCOMPARE(lighten(QStringLiteral("#FFFFFF"), 0.8), QStringLiteral("#FFFFFF"));
        QCOMPARE(lighten(QStringLiteral("#1cb05a"), 0.0), QStringLiteral("#1CB05A"));
        QCOMPARE(lighten(QStringLiteral("1CB05A"), 1.0), QStringLiteral("#FFFFFF"));
    }

    void lighten_unreadableChannelsCountAsZero()
    {
        QCOMPARE(lighten(QStringLiteral("xyz"), 0.5), QStringLiteral("#808080"));
        QCOMPARE(lighten(QString(), 0.0), QStringLiteral("#000000"));
        // Short text: the missing channels are 0.
        QCOMPARE(lighten(QStringLiteral("#FF"), 0.0), QStringLiteral("#FF0000"));
        // A sign or a lone digit is not a channel.
        QCOMPARE(lighten(QStringLiteral("#-1-1-1"), 0.0), QStringLiteral("#000000"));
        QCOMPARE(lighten(QStringLiteral("#1 1 1 "), 0.0), QStringLiteral("#000000"));
        // Amounts outside 0..1 stay within the colour range.
        QCOMPARE(lighten(QStringLiteral("#808080"), 2.0), QStringLiteral("#FFFFFF"));
        QCOMPARE(lighten(QStringLiteral("#808080"), -2.0), QStringLiteral("#000000"));
    }

    void accentPalettes_iterateAlphabetically()
    {
        // The settings page lists the accents in this order.
        const QStringList expected = {
            QStringLiteral("blue"),   QStringLiteral("cyan"),   QStringLiteral("green"),
            QStringLiteral("indigo"), QStringLiteral("orange"), QStringLiteral("pink"),
            QStringLiteral("purple"), QStringLiteral("red"),    QStringLiteral("teal")};
        QCOMPARE(accentPalettes().keys(), expected);
        QVERIFY(accentPalettes().contains(DEFAULT_ACCENT));
    }
};

QTEST_MAIN(TestTheme)
#include "tst_theme.moc"
