#include "ui/common/Icons.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QRect>
#include <QtTest>

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
    void initTestCase()
    {
        // The pixmaps are drawn at the screen's density; tests compare pixels.
        QCOMPARE(qApp->devicePixelRatio(), 1.0);
    }

    void iconFont_loadsFromTheResources()
    {
        QCOMPARE(faFontFamily(), QStringLiteral("Font Awesome 6 Free"));
        QCOMPARE(faIconNames().size(), 50);
    }

    void faPixmap_secondCallReturnsTheCachedPixmap()
    {
        const QPixmap first = faPixmap(QStringLiteral("gear"), QColor(QStringLiteral("#9AA3B2")), 18);
        const QPixmap second = faPixmap(QStringLiteral("gear"), QColor(QStringLiteral("#9AA3B2")), 18);
        QCOMPARE(second.cacheKey(), first.cacheKey());
        QVERIFY(faPixmap(QStringLiteral("gear"), QColor(QStringLiteral("#9AA3B3")), 18).cacheKey() !=
                first.cacheKey());
        QVERIFY(faPixmap(QStringLiteral("gear"), QColor(QStringLiteral("#9AA3B2")), 19).cacheKey() !=
                first.cacheKey());
        // The alpha channel is part of the colour.
        QColor translucent(QStringLiteral("#9AA3B2"));
        translucent.setAlpha(128);
        QVERIFY(faPixmap(QStringLiteral("gear"), translucent, 18).cacheKey() != first.cacheKey());
    }

    void faPixmap_unknownNameIsTransparentAndNotCached()
    {
        const QPixmap pixmap = faPixmap(QStringLiteral("no-such-icon"), Qt::red, 18);
        QCOMPARE(pixmap.size(), QSize(18, 18));
        QVERIFY(inkBounds(pixmap.toImage()).isNull());
        QVERIFY(faPixmap(QStringLiteral("no-such-icon"), Qt::red, 18).cacheKey() != pixmap.cacheKey());
    }

    void everyIcon_isAGlyphOfTheFontAndDistinct()
    {
        // A code point the font lacks would be drawn as the same fallback box
        // for every such name.
        QFont font(faFontFamily());
        font.setWeight(QFont::Black);
        const QFontMetrics metrics(font);
        QHash<QByteArray, QString> seen;
        for (const QString &name : faIconNames()) {
            QVERIFY2(metrics.inFontUcs4(faCodePoint(name)), qPrintable(name));
            const QImage image =
                faPixmap(name, Qt::black, 32).toImage().convertToFormat(QImage::Format_ARGB32);
            QVERIFY2(!inkBounds(image).isNull(), qPrintable(name));
            const QByteArray bytes(reinterpret_cast<const char *>(image.constBits()), image.sizeInBytes());
            QVERIFY2(!seen.contains(bytes),
                     qPrintable(name + QStringLiteral(" looks like ") + seen.value(bytes)));
            seen.insert(bytes, name);
        }
    }

    void everyIcon_fitsAndIsCentred()
    {
        for (const QString &name : faIconNames()) {
            const QRect ink = inkBounds(faPixmap(name, Qt::black, 24).toImage());
            // Wide glyphs are shrunk rather than cut at the pixmap's edges.
            QVERIFY2(ink.width() <= 24 && ink.height() <= 24, qPrintable(name));
            QVERIFY2(qAbs(ink.left() - (23 - ink.right())) <= 1, qPrintable(name));
            QVERIFY2(qAbs(ink.top() - (23 - ink.bottom())) <= 1, qPrintable(name));
            // Drawn at 0.86 of the size: even the slimmest glyph (xmark) is not a speck.
            QVERIFY2(qMax(ink.width(), ink.height()) >= 10, qPrintable(name));
        }
    }

    void faPixmap_drawsInTheRequestedColour()
    {
        const QImage check =
            faPixmap(QStringLiteral("circle-check"), QColor(QStringLiteral("#1CB05A")), 18).toImage();
        // The middle of the disc is solid (the tick is cut out above it).
        bool foundSolid = false;
        for (int y = 0; y < check.height() && !foundSolid; ++y) {
            for (int x = 0; x < check.width(); ++x) {
                if (check.pixelColor(x, y).alpha() == 255) {
                    QCOMPARE(check.pixelColor(x, y).name(), QStringLiteral("#1cb05a"));
                    foundSolid = true;
                    break;
                }
            }
        }
        QVERIFY(foundSolid);
    }

    void faCheckableIcon_hasOneColourPerState()
    {
        const QIcon icon =
            faCheckableIcon(QStringLiteral("trophy"), QColor(QStringLiteral("#9AA3B2")), Qt::white, 16);
        const QImage off = icon.pixmap(QSize(16, 16), QIcon::Normal, QIcon::Off).toImage();
        const QImage on = icon.pixmap(QSize(16, 16), QIcon::Normal, QIcon::On).toImage();
        QCOMPARE(off, faPixmap(QStringLiteral("trophy"), QColor(QStringLiteral("#9AA3B2")), 16).toImage());
        QCOMPARE(on, faPixmap(QStringLiteral("trophy"), Qt::white, 16).toImage());
        QVERIFY(on != off);
    }

    void applicationIcon_isCompiledIn()
    {
        ensureUiResources();
        const QImage icon(QStringLiteral(":/icons/tolvo_256.png"));
        QCOMPARE(icon.size(), QSize(256, 256));
        // Rounded tile: transparent corners, opaque middle.
        QCOMPARE(icon.pixelColor(0, 0).alpha(), 0);
        QCOMPARE(icon.pixelColor(128, 128).alpha(), 255);
    }
};

QTEST_MAIN(TestIcons)
#include "tst_icons.moc"
