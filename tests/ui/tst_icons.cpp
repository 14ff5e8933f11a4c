#include "ui/common/Icons.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

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

class TestIcons : public QObject
{
    Q_OBJECT

private slots:
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
};

QTEST_MAIN(TestIcons)
#include "tst_icons.moc"
