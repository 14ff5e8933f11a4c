#include "ui/pages/ChatBubble.h"
#include "ui/pages/WrappedLabel.h"

#include <QtTest>

class TestWrappedLabel : public QObject
{
    Q_OBJECT

private slots:
    void height_followsTextFontAndWidth()
    {
        WrappedLabel label;
        label.setText(QStringLiteral("A fairly long line of text that has to wrap when the label is narrow"));
        QLabel plain;
        plain.setWordWrap(true);
        plain.setText(label.text());
        QCOMPARE(label.heightForWidth(120), plain.heightForWidth(120));
        QCOMPARE(label.heightForWidth(2000), plain.heightForWidth(2000));
        QVERIFY(label.heightForWidth(120) > label.heightForWidth(2000));

        // Remembered heights go when the text, the font or the style changes.
        const int before = label.heightForWidth(120);
        label.setText(label.text() + QStringLiteral(" and then some more words to make it longer still"));
        QVERIFY(label.heightForWidth(120) > before);

        const int small = label.heightForWidth(300);
        QFont big = label.font();
        big.setPixelSize(30);
        label.setFont(big);
        QVERIFY(label.heightForWidth(300) > small);

        const int unstyled = label.heightForWidth(300);
        label.setStyleSheet(QStringLiteral("font-size: 8px;"));
        label.ensurePolished();
        QVERIFY(label.heightForWidth(300) < unstyled);
    }

    void chatBubble_isAsWideAsItsText_upToTheLimit()
    {
        ChatBubble shortOne(QStringLiteral("user"), QStringLiteral("Hi"));
        ChatBubble longOne(QStringLiteral("assistant"),
                           QString(400, QLatin1Char('x')).replace(10, 1, QLatin1Char(' ')));
        QVERIFY(shortOne.sizeHint().width() < 100);
        QCOMPARE(longOne.sizeHint().width(), ChatBubble::MaxWidth);
        QVERIFY(longOne.sizeHint().height() > shortOne.sizeHint().height());

        // A reply replacing "Thinking…" widens the bubble, and the meta line counts too.
        ChatBubble pending(QStringLiteral("assistant"), QStringLiteral("Thinking…"));
        const int thinking = pending.sizeHint().width();
        pending.setText(QStringLiteral("A considerably longer answer than the placeholder was"));
        QVERIFY(pending.sizeHint().width() > thinking);
        ChatBubble tiny(QStringLiteral("assistant"), QStringLiteral("Yes."));
        const int yes = tiny.sizeHint().width();
        tiny.setMeta(QStringLiteral("gpt-4.1-mini  ·  £0.000164"));
        QVERIFY(tiny.sizeHint().width() > yes);
        QCOMPARE(tiny.meta(), QStringLiteral("gpt-4.1-mini  ·  £0.000164"));
    }
};

QTEST_MAIN(TestWrappedLabel)
#include "tst_wrappedlabel.moc"
