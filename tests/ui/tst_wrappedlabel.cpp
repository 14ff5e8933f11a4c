#include "ui/pages/ChatBubble.h"
#include "ui/pages/WrappedLabel.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestWrappedLabel : public QObject
{
    Q_OBJECT

private slots:
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
};

QTEST_MAIN(TestWrappedLabel)
#include "tst_wrappedlabel.moc"
