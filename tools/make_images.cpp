// Draws the program's own images into the folder given (default
// resources/icons):
// - tolvo_256.png, the application icon: a football with a spark on a green
//   tile. Shapes are kept bold so that the ball still reads at the 20 px of
//   the title bar;
// - check-white.png, the tick of a checked check box (on the accent colour);
// - into the second folder given (default packaging/icons), the application
//   icon for the desktop's icon theme, hicolor/NxN/apps/org.tolvo.Tolvo.png
//   at 48, 64, 128 and 256 pixels.
// The small images are drawn at twice the size they are shown at, for sharp
// HiDPI screens.
//
//   cmake --build --preset dev --target tolvo_make_images
//   build/dev/tools/tolvo_make_images resources/icons packaging/icons

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QPair>
#include <QPolygonF>
#include <QRadialGradient>
#include <QtMath>

#include <cstdio>
#include <utility>

namespace {

QPolygonF regularPolygon(QPointF centre, qreal radius, int corners, qreal firstAngleDeg)
{
    QPolygonF polygon;
    for (int i = 0; i < corners; ++i) {
        const qreal angle = qDegreesToRadians(firstAngleDeg + i * 360.0 / corners);
        polygon << centre + QPointF(radius * qCos(angle), radius * qSin(angle));
    }
    return polygon;
}

QPainterPath sparkle(QPointF centre, qreal outer, qreal inner)
{
    QPainterPath path;
    for (int i = 0; i < 8; ++i) {
        const qreal radius = i % 2 == 0 ? outer : inner;
        const qreal angle = qDegreesToRadians(-90.0 + i * 45.0);
        const QPointF point = centre + QPointF(radius * qCos(angle), radius * qSin(angle));
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    path.closeSubpath();
    return path;
}

QImage drawIcon()
{
    QImage image(256, 256, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // The tile.
    const QRectF tile(8, 8, 240, 240);
    QLinearGradient tileFill(tile.topLeft(), tile.bottomRight());
    tileFill.setColorAt(0.0, QColor("#2DD672"));
    tileFill.setColorAt(0.55, QColor("#16A352"));
    tileFill.setColorAt(1.0, QColor("#0B5A2E"));
    p.setPen(Qt::NoPen);
    p.setBrush(tileFill);
    p.drawRoundedRect(tile, 54, 54);
    // A soft sheen over the upper half.
    QLinearGradient sheen(0, 8, 0, 140);
    sheen.setColorAt(0.0, QColor(255, 255, 255, 46));
    sheen.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setBrush(sheen);
    p.drawRoundedRect(tile, 54, 54);

    const QPointF centre(124, 134);
    const qreal radius = 84;

    // Shadow under the ball.
    QRadialGradient shadow(centre + QPointF(6, 10), radius + 14);
    shadow.setColorAt(0.80, QColor(0, 0, 0, 90));
    shadow.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.setBrush(shadow);
    p.drawEllipse(centre + QPointF(6, 10), radius + 14, radius + 14);

    // The ball, lit from the upper left.
    QRadialGradient ballFill(centre + QPointF(-30, -34), radius * 1.5);
    ballFill.setColorAt(0.0, QColor("#FFFFFF"));
    ballFill.setColorAt(0.55, QColor("#F1F4F7"));
    ballFill.setColorAt(1.0, QColor("#C9D1DB"));
    p.setBrush(ballFill);
    p.drawEllipse(centre, radius, radius);

    // Patches and seams, clipped to the ball.
    QPainterPath ball;
    ball.addEllipse(centre, radius, radius);
    p.save();
    p.setClipPath(ball);
    const QColor patch("#1B1F26");
    p.setBrush(patch);
    const qreal inner = 30;
    p.drawPolygon(regularPolygon(centre, inner, 5, -90));
    QPen seam(patch, 7, Qt::SolidLine, Qt::RoundCap);
    for (int i = 0; i < 5; ++i) {
        const qreal angle = -90.0 + i * 72.0;
        const qreal rad = qDegreesToRadians(angle);
        const QPointF direction(qCos(rad), qSin(rad));
        const QPointF outerCentre = centre + direction * 104;
        // The outer patches point inwards, towards the centre patch.
        p.setPen(Qt::NoPen);
        p.drawPolygon(regularPolygon(outerCentre, 34, 5, angle + 180));
        p.setPen(seam);
        p.drawLine(centre + direction * (inner - 2), outerCentre - direction * 30);
    }
    p.restore();

    // Rim, so the ball stays round against the tile at small sizes.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(11, 61, 33, 140), 3));
    p.drawEllipse(centre, radius, radius);

    // The spark: the AI's call.
    const QPainterPath spark = sparkle(QPointF(204, 54), 34, 9);
    p.setPen(QPen(QColor("#0B5A2E"), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor("#FFD43B"));
    p.drawPath(spark);
    p.setPen(Qt::NoPen);
    p.drawPath(sparkle(QPointF(176, 30), 12, 3.5));
    p.end();
    return image;
}

QImage drawCheck()
{
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 4.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(8, 16.5), QPointF(13.5, 22), QPointF(24, 10)}));
    p.end();
    return image;
}

} // namespace

int main(int argc, char **argv)
{
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("resources/icons");
    const QList<QPair<QString, QImage>> images = {
        {QStringLiteral("tolvo_256.png"), drawIcon()},
        {QStringLiteral("check-white.png"), drawCheck()},
    };
    const QString desktopFolder =
        argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("packaging/icons");
    QList<QPair<QString, QImage>> themeIcons;
    const QImage icon = images.first().second;
    for (int size : {48, 64, 128, 256}) {
        // Scaled down from the large drawing: the shapes are bold enough to
        // survive, and every size stays the same picture.
        const QString name = QStringLiteral("hicolor/%1x%1/apps/org.tolvo.Tolvo.png").arg(size);
        themeIcons.append(
            {name,
             size == 256 ? icon : icon.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation)});
    }
    for (const auto &[dir, list] : {std::pair{folder, images}, std::pair{desktopFolder, themeIcons}}) {
        for (const auto &image : list) {
            const QString path = dir + QLatin1Char('/') + image.first;
            QDir().mkpath(QFileInfo(path).absolutePath());
            if (!image.second.save(path, "PNG")) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                return 1;
            }
        }
    }
    return 0;
}
