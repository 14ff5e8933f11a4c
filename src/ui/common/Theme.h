#pragma once

#include <QMap>
#include <QString>

// The seven colours of a colour theme, each "#RRGGBB". The field names double
// as the style-sheet template tokens.
struct ThemePalette
{
    QString bg;
    QString surface;
    QString surfaceAlt;
    QString border;
    QString text;
    QString textDim;
    QString sidebar;
};

// One accent colour with a lighter hover shade and a darker pressed shade.
struct AccentPalette
{
    QString accent;
    QString hover;
    QString dark;
};

inline const QString DEFAULT_ACCENT = QStringLiteral("green");
inline const QString DEFAULT_STYLE = QStringLiteral("standard");
// Secondary icons on cards and pages, the same grey in both themes.
inline const QString ICON_MUTED = QStringLiteral("#9AA3B2");

const ThemePalette &darkPalette();
const ThemePalette &lightPalette();
// The palette a "theme" setting selects: dark only for exactly "dark".
const ThemePalette &paletteFor(const QString &theme);
// Keyed by accent name, so iteration is alphabetical.
const QMap<QString, AccentPalette> &accentPalettes();

// Mixes a "#RRGGBB" colour towards white by amount (0..1); a channel that is
// not two hexadecimal digits counts as 0. Returns upper-case "#RRGGBB".
QString lighten(const QString &hex, double amount);

// The application style sheet for the "theme", "accent" and "ui_style"
// settings. Unknown accents fall back to DEFAULT_ACCENT, unknown styles to
// the flat one.
QString buildStylesheet(const QString &theme, const QString &accent, const QString &style);
