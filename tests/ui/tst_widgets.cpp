// Shared widgets and look: style sheets, icons, sounds, wrapping labels, toasts.
#include "app/Paths.h"
#include "ui/common/Icons.h"
#include "ui/common/SoundManager.h"
#include "ui/common/Theme.h"
#include "ui/pages/ChatBubble.h"
#include "ui/pages/WrappedLabel.h"
#include "ui/shell/Toast.h"
#include "ui/shell/ToastManager.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

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

// The smallest rectangle holding every pixel that is not fully transparent.
QRect inkBounds(const QImage &image)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0)
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

} // namespace

class TestWidgets : public QObject
{
    Q_OBJECT

    std::unique_ptr<QWidget> host;
    ToastManager *manager = nullptr;

    // A window 1000 by 700 with its toast manager.
    void makeHost()
    {
        host = std::make_unique<QWidget>();
        host->resize(1000, 700);
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host.get()));
        manager = new ToastManager(host.get());
    }
    Toast *show(const QString &message) { return manager->show(message, u"info"_s, 3400); }

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

    void everyIcon_isAGlyphOfTheFont_distinct_centredAndWhole()
    {
        // The pixmaps are drawn at the screen's density; the test compares pixels.
        QCOMPARE(qApp->devicePixelRatio(), 1.0);
        // A code point the font lacks would be drawn as the same fallback box
        // for every such name.
        QFont font(faFontFamily());
        font.setWeight(QFont::Black);
        const QFontMetrics metrics(font);
        QHash<QByteArray, QString> seen;
        for (const QString &name : faIconNames()) {
            QVERIFY2(metrics.inFontUcs4(faCodePoint(name)), qPrintable(name));
            const QImage image =
                faPixmap(name, Qt::black, 24).toImage().convertToFormat(QImage::Format_ARGB32);
            const QByteArray bytes(reinterpret_cast<const char *>(image.constBits()), image.sizeInBytes());
            QVERIFY2(!seen.contains(bytes), qPrintable(name + u" looks like "_s + seen.value(bytes)));
            seen.insert(bytes, name);
            // Wide glyphs are shrunk rather than cut at the edges, and even the
            // slimmest is no speck.
            const QRect ink = inkBounds(image);
            QVERIFY2(qAbs(ink.left() - (23 - ink.right())) <= 1 && qAbs(ink.top() - (23 - ink.bottom())) <= 1,
                     qPrintable(name));
            QVERIFY2(qMax(ink.width(), ink.height()) >= 10, qPrintable(name));
        }
        QVERIFY(inkBounds(faPixmap(u"no-such-icon"_s, Qt::red, 18).toImage()).isNull());
    }

    void play_onlyShippedSounds_onlyWhenEnabled()
    {
        SoundManager sound(false, 0.6);
        QSignalSpy played(&sound, &SoundManager::played);
        sound.play(u"click"_s);
        // Disabled, nothing is even looked for, and the player is not loaded.
        QCOMPARE(sound.lookedUpCount(), 0);
        QVERIFY(!sound.hasPlayer());
        sound.setEnabled(true);
        sound.play(u"click"_s);
        sound.play(u"click"_s);
        // The player plugin beside the program was loaded for it.
        QVERIFY(sound.hasPlayer());
        // A sound without a file is silent, and looked for once.
        sound.play(u"no_such_sound"_s);
        sound.play(u"no_such_sound"_s);
        QCOMPARE(played.count(), 2);
        QCOMPARE(played.first().first().toString(), u"click"_s);
        QCOMPARE(sound.lookedUpCount(), 2);
        sound.setEnabled(false);
        sound.play(u"goal"_s);
        QCOMPARE(played.count(), 2);
    }

    void soundPlayer_besideTheProgramOrInstalled_data()
    {
        QTest::addColumn<QString>("plugin");
        QTest::addColumn<QString>("found");
        QTest::newRow("build folder") << u"bin/tolvo_sound"_s << u"bin/tolvo_sound"_s;
        QTest::newRow("installed") << u"lib/tolvo/tolvo_sound"_s << u"lib/tolvo/tolvo_sound"_s;
        QTest::newRow("elsewhere") << u"lib/tolvo_sound"_s << QString();
        QTest::newRow("none") << QString() << QString();
    }

    void soundPlayer_besideTheProgramOrInstalled()
    {
        QFETCH(QString, plugin);
        QFETCH(QString, found);
#ifdef Q_OS_WIN
        const QString suffix = u".dll"_s;
#else
        const QString suffix = u".so"_s;
#endif
        QTemporaryDir tree;
        QVERIFY(QDir(tree.path()).mkpath(u"bin"_s));
        if (!plugin.isEmpty()) {
            QVERIFY(QDir(tree.path()).mkpath(QFileInfo(plugin).path()));
            QFile file(tree.filePath(plugin + suffix));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QCOMPARE(soundPlayerPath(tree.filePath(u"bin"_s)),
                 found.isEmpty() ? QString() : tree.filePath(found + suffix));
    }

    void height_followsTextFontStyleAndWidth()
    {
        WrappedLabel label;
        label.setText(u"A fairly long line of text that has to wrap when the label is narrow"_s);
        QLabel plain;
        plain.setWordWrap(true);
        plain.setText(label.text());
        QCOMPARE(label.heightForWidth(120), plain.heightForWidth(120));
        QVERIFY(label.heightForWidth(120) > label.heightForWidth(2000));
        // Remembered heights go when the text, the font or the style changes.
        const int before = label.heightForWidth(120);
        label.setText(label.text() + u" and then some more words to make it longer still"_s);
        QVERIFY(label.heightForWidth(120) > before);
        const int small = label.heightForWidth(300);
        QFont big = label.font();
        big.setPixelSize(30);
        label.setFont(big);
        QVERIFY(label.heightForWidth(300) > small);
        const int unstyled = label.heightForWidth(300);
        label.setStyleSheet(u"font-size: 8px;"_s);
        label.ensurePolished();
        QVERIFY(label.heightForWidth(300) < unstyled);
    }

    void chatBubble_isAsWideAsItsText_upToTheLimit()
    {
        ChatBubble shortOne(u"user"_s, u"Hi"_s);
        ChatBubble longOne(u"assistant"_s, QString(400, u'x').replace(10, 1, u' '));
        QVERIFY(shortOne.sizeHint().width() < 100);
        QCOMPARE(longOne.sizeHint().width(), ChatBubble::MaxWidth);
        QVERIFY(longOne.sizeHint().height() > shortOne.sizeHint().height());
        // A reply replacing "Thinking…" widens the bubble, and the meta line counts too.
        ChatBubble pending(u"assistant"_s, u"Thinking…"_s);
        const int thinking = pending.sizeHint().width();
        pending.setText(u"A considerably longer answer than the placeholder was"_s);
        QVERIFY(pending.sizeHint().width() > thinking);
        ChatBubble tiny(u"assistant"_s, u"Yes."_s);
        const int yes = tiny.sizeHint().width();
        tiny.setMeta(u"gpt-4.1-mini  ·  £0.000164"_s);
        QVERIFY(tiny.sizeHint().width() > yes);
    }

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
        makeHost();
        QCOMPARE(show(message)->message(), shown);
    }

    void toasts_stackInTheCorner_andCloseTheGapWhenOneGoes()
    {
        makeHost();
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

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
