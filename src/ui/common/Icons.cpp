#include "Icons.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

// Q_INIT_RESOURCE must be used outside any namespace.
static void registerTolvoResources()
{
    Q_INIT_RESOURCE(tolvo);
}

namespace {

const QHash<QString, char32_t> &codePoints()
{
    static const QHash<QString, char32_t> points = {
        {QStringLiteral("trophy"), 0xF091},
        {QStringLiteral("tower-broadcast"), 0xF519},
        {QStringLiteral("magnifying-glass"), 0xF002},
        {QStringLiteral("comments"), 0xF086},
        {QStringLiteral("star"), 0xF005},
        {QStringLiteral("clock-rotate-left"), 0xF1DA},
        {QStringLiteral("bug"), 0xF188},
        {QStringLiteral("gear"), 0xF013},
        {QStringLiteral("circle-info"), 0xF05A},
        {QStringLiteral("wand-magic-sparkles"), 0xE2CA},
        {QStringLiteral("rotate"), 0xF2F1},
        {QStringLiteral("futbol"), 0xF1E3},
        {QStringLiteral("xmark"), 0xF00D},
        {QStringLiteral("check"), 0xF00C},
        {QStringLiteral("plus"), 0x002B},
        {QStringLiteral("floppy-disk"), 0xF0C7},
        {QStringLiteral("circle-notch"), 0xF1CE},
        {QStringLiteral("volume-high"), 0xF028},
        {QStringLiteral("volume-xmark"), 0xF6A9},
        {QStringLiteral("moon"), 0xF186},
        {QStringLiteral("sun"), 0xF185},
        {QStringLiteral("paper-plane"), 0xF1D8},
        {QStringLiteral("trash"), 0xF1F8},
        {QStringLiteral("database"), 0xF1C0},
        {QStringLiteral("cloud-arrow-down"), 0xF0ED},
        {QStringLiteral("palette"), 0xF53F},
        {QStringLiteral("list-check"), 0xF0AE},
        {QStringLiteral("circle-question"), 0xF059},
        {QStringLiteral("heart"), 0xF004},
        {QStringLiteral("lightbulb"), 0xF0EB},
        {QStringLiteral("flag-checkered"), 0xF11E},
        {QStringLiteral("window-minimize"), 0xF2D1},
        {QStringLiteral("expand"), 0xF065},
        {QStringLiteral("window-restore"), 0xF2D2},
        {QStringLiteral("circle-check"), 0xF058},
        {QStringLiteral("circle-exclamation"), 0xF06A},
        {QStringLiteral("comment-dots"), 0xF4AD},
        {QStringLiteral("copy"), 0xF0C5},
        {QStringLiteral("user"), 0xF007},
        {QStringLiteral("camera"), 0xF030},
        {QStringLiteral("file-lines"), 0xF15C},
        {QStringLiteral("triangle-exclamation"), 0xF071},
        {QStringLiteral("tag"), 0xF02B},
        {QStringLiteral("comment"), 0xF075},
        {QStringLiteral("chart-line"), 0xF201},
        {QStringLiteral("filter-circle-xmark"), 0xF5BD},
        {QStringLiteral("earth-europe"), 0xF7A2},
        {QStringLiteral("bullseye"), 0xF140},
        {QStringLiteral("clock"), 0xF017},
        {QStringLiteral("list"), 0xF03A},
        {QStringLiteral("file-export"), 0xF56E},
    };
    return points;
}

QString loadFontFamily()
{
    ensureUiResources();
    const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/fontawesome6-solid-icons.ttf"));
    const QStringList families = id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
    return families.isEmpty() ? QString() : families.first();
}

// Read as PNG outright: left to guess, the reader first loads every installed
// image plugin to ask it, which delays the first frame.
QImage readPng(const QString &path)
{
    ensureUiResources();
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

// The logo comes in two sizes: the title bar's small one is scaled from the
// small source, which decodes in a sixteenth of the time.
const QImage &smallLogo()
{
    static const QImage image = readPng(QStringLiteral(":/icons/tolvo_64.png"));
    return image;
}

const QImage &largeLogo()
{
    static const QImage image = readPng(QStringLiteral(":/icons/tolvo_256.png"));
    return image;
}

// A glyph's outline at a pixel size. Kept, because laying the glyph out is
// most of an icon's cost, and an icon is often drawn in two colours (checked
// and unchecked).
const QPainterPath &glyphPath(const QString &family, char32_t point, int size)
{
    static QHash<QPair<char32_t, int>, QPainterPath> paths;
    const QPair<char32_t, int> key(point, size);
    auto found = paths.find(key);
    if (found == paths.end()) {
        QFont font(family);
        font.setPixelSize(std::max(1, static_cast<int>(size * 0.86)));
        // The solid glyphs are the font's heavy weight; asking for it keeps a
        // system-installed regular face of the same family from being chosen.
        font.setWeight(QFont::Black);
        font.setStyleStrategy(QFont::PreferAntialias);
        QPainterPath path;
        path.addText(0, 0, font, QString::fromUcs4(&point, 1));
        found = paths.insert(key, path);
    }
    return *found;
}

QPixmap transparentPixmap(int size, qreal ratio)
{
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

} // namespace

void ensureUiResources()
{
    static const bool registered = [] {
        registerTolvoResources();
        return true;
    }();
    Q_UNUSED(registered);
}

QPixmap appLogo(int size, qreal ratio)
{
    const QSize wanted = QSize(size, size) * ratio;
    const QImage &small = smallLogo();
    const QImage &image = !small.isNull() && small.width() >= wanted.width() ? small : largeLogo();
    if (image.isNull())
        return QPixmap();
    QPixmap pixmap = QPixmap::fromImage(image.scaled(wanted, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

QIcon appIcon()
{
    // Both sizes: the window system picks the one nearest to what it shows
    // (a title bar, a task switcher).
    QIcon icon;
    for (const QImage *image : {&smallLogo(), &largeLogo()}) {
        if (!image->isNull())
            icon.addPixmap(QPixmap::fromImage(*image));
    }
    return icon;
}

QStringList faIconNames()
{
    QStringList names = codePoints().keys();
    names.sort();
    return names;
}

char32_t faCodePoint(const QString &name)
{
    return codePoints().value(name, 0);
}

QString faFontFamily()
{
    static const QString family = loadFontFamily();
    return family;
}

QPixmap faPixmap(const QString &name, const QColor &color, int size)
{
    static QHash<QString, QPixmap> cache;
    const QString key = QStringLiteral("%1|%2|%3").arg(name, color.name(QColor::HexArgb)).arg(size);
    const auto cached = cache.constFind(key);
    if (cached != cache.constEnd())
        return *cached;

    // Drawn at the screen's pixel density so that icons stay sharp on HiDPI
    // displays; the pixmap still measures size x size logical pixels.
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    QPixmap pixmap = transparentPixmap(size, ratio);
    const QString family = faFontFamily();
    const char32_t point = faCodePoint(name);
    if (family.isEmpty() || point == 0 || size <= 0)
        return pixmap;

    const QPainterPath &path = glyphPath(family, point, size);
    const QRectF bounds = path.boundingRect();
    // A few glyphs are wider than the em square; shrink those to fit instead
    // of cutting their sides off.
    const qreal scale = std::min(1.0, size / std::max(bounds.width(), bounds.height()));

    QPainter painter(&pixmap);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    if (scale < 1.0) {
        painter.translate(size / 2.0, size / 2.0);
        painter.scale(scale, scale);
        painter.translate(-bounds.center());
    } else {
        // Whole-pixel offsets put the glyph's straight left and top edges on
        // pixel boundaries, which keeps small icons crisp.
        painter.translate(std::round((size - bounds.width()) / 2.0) - bounds.left(),
                          std::round((size - bounds.height()) / 2.0) - bounds.top());
    }
    painter.drawPath(path);
    painter.end();

    cache.insert(key, pixmap);
    return pixmap;
}

QIcon faIcon(const QString &name, const QColor &color, int size)
{
    return QIcon(faPixmap(name, color, size));
}

QIcon faCheckableIcon(const QString &name, const QColor &offColor, const QColor &onColor, int size)
{
    QIcon icon;
    icon.addPixmap(faPixmap(name, offColor, size), QIcon::Normal, QIcon::Off);
    icon.addPixmap(faPixmap(name, onColor, size), QIcon::Normal, QIcon::On);
    return icon;
}
