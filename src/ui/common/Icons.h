#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

// Registers the compiled-in resources (application icon, icon font). The
// widget library is static, so its resources are only linked in when some
// code asks for them; everything that reads ":/..." calls this first. Cheap
// after the first call.
void ensureUiResources();

// The program's logo, size x size logical pixels at the pixel density given;
// null when the resource is missing.
QPixmap appLogo(int size, qreal ratio = 1.0);
// The logo as the icon of the windows and the tray.
QIcon appIcon();

// Icons are glyphs of the embedded "Font Awesome 6 Free Solid" font, named as
// the font names them ("gear", "circle-check"...).
QStringList faIconNames();
// The glyph's code point, or 0 for an unknown name.
char32_t faCodePoint(const QString &name);
// The font family the icons are drawn with; empty when the font failed to load.
QString faFontFamily();

// A size x size pixmap of the icon in the colour, cached for the whole run.
// Unknown names (or a missing font) give a fully transparent pixmap.
QPixmap faPixmap(const QString &name, const QColor &color, int size);
QIcon faIcon(const QString &name, const QColor &color, int size);
// offColor when unchecked, onColor when checked.
QIcon faCheckableIcon(const QString &name, const QColor &offColor, const QColor &onColor, int size);
