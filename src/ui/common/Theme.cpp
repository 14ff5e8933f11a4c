#include "Theme.h"

#include <algorithm>
#include <cmath>

namespace {

// Both looks: the fills that set them apart are tokens of their own, see
// lookTokens(), the colours are the palette's.
const char SHEET[] = R"qss(
QWidget {
    background-color: {{bg}};
    color: {{text}};
    font-family: "Segoe UI", "Noto Sans", "Cantarell", sans-serif;
    font-size: 13px;
}
QMainWindow {
    background-color: {{bg}};
    border: 1px solid {{border}};
}
QWidget#TitleBar {
    background-color: {{sidebar}};
    border-bottom: 1px solid {{border}};
}
QWidget#Sidebar {
    background-color: {{sidebarFill}};
    border-right: 1px solid {{border}};
}
QWidget#TopBar {
    background-color: {{raisedFill}};
    border-bottom: 1px solid {{border}};
}
QPushButton {
    background-color: {{buttonFill}};
    color: {{text}};
    border: 1px solid {{border}};
    border-radius: 8px;
    padding: 8px 14px;
    min-height: 22px;
}
QPushButton:hover {
    background-color: {{accentFill}};
    border-color: {{hoverBorder}};
    color: white;
}
QPushButton:pressed {
    background-color: {{pressedFill}};
    border-color: {{accentDark}};
    color: white;
    padding-top: 9px;
    padding-bottom: 7px;
}
QPushButton:disabled {
    background-color: {{surfaceAlt}};
    border-color: {{border}};
    color: {{textDim}};
}
QPushButton#PrimaryButton {
    background-color: {{accentFill}};
    color: white;
    font-weight: 600;
    border: {{primaryBorder}};
}
QPushButton#PrimaryButton:hover {
    background-color: {{accentHoverFill}};
}
QPushButton#PrimaryButton:pressed {
    background-color: {{pressedFill}};
}
QPushButton#PrimaryButton:disabled {
    background-color: {{surfaceAlt}};
    border-color: {{border}};
    color: {{textDim}};
}
QPushButton#SidebarNavButton, QPushButton#NavButton, QPushButton#SlidingTabButton {
    background-color: transparent;
    border: none;
    border-radius: 8px;
    text-align: left;
    padding: 10px 12px;
    color: {{textDim}};
    font-weight: 600;
}
QPushButton#SidebarNavButton:hover, QPushButton#NavButton:hover, QPushButton#SlidingTabButton:hover {
    background-color: {{hoverTint}};
    color: {{text}};
}
QPushButton#SidebarNavButton:checked, QPushButton#NavButton:checked, QPushButton#SlidingTabButton:checked {
    background-color: {{accentFill}};
    color: white;
    font-weight: 700;
}
QPushButton#SidebarNavButton:checked:hover, QPushButton#NavButton:checked:hover,
QPushButton#SlidingTabButton:checked:hover {
    background-color: {{accentHoverFill}};
}
QPushButton#IconButton {
    background-color: transparent;
    border: none;
    border-radius: 8px;
    padding: 6px;
    min-height: 0px;
}
QPushButton#IconButton:hover {
    background-color: {{surfaceAlt}};
}
QFrame#Card {
    background-color: {{raisedFill}};
    border: 1px solid {{border}};
    border-radius: 14px;
}
QFrame#Card:hover {
    border-color: {{accent}};
}
QFrame#InsetCard {
    background-color: {{sunkenFill}};
    border: 1px solid {{border}};
    border-top: 2px solid {{accent}};
    border-radius: 10px;
}
QLineEdit, QComboBox, QPlainTextEdit, QTextEdit {
    background-color: {{sunkenFill}};
    color: {{text}};
    border: 1px solid {{border}};
    border-radius: 8px;
    padding: 8px 10px;
    selection-background-color: {{accent}};
    selection-color: white;
}
QLineEdit:hover, QComboBox:hover, QPlainTextEdit:hover, QTextEdit:hover {
    border-color: {{textDim}};
}
QLineEdit:focus, QComboBox:focus, QPlainTextEdit:focus, QTextEdit:focus {
    border-color: {{accent}};
}
QComboBox {
    padding-right: 30px;
    combobox-popup: 0;
}
QLabel, QCheckBox, QRadioButton {
    background-color: transparent;
}
QScrollArea {
    background-color: transparent;
    border: none;
}
QScrollArea > QWidget > QWidget {
    background-color: transparent;
}
QScrollBar:vertical {
    background-color: transparent;
    width: 10px;
    margin: 2px 1px 2px 1px;
}
QScrollBar::handle:vertical {
    background-color: {{border}};
    border-radius: 4px;
    min-height: 36px;
}
QScrollBar::handle:vertical:hover {
    background-color: {{accent}};
}
QScrollBar:horizontal {
    background-color: transparent;
    height: 10px;
    margin: 1px 2px 1px 2px;
}
QScrollBar::handle:horizontal {
    background-color: {{border}};
    border-radius: 4px;
    min-width: 36px;
}
QScrollBar::handle:horizontal:hover {
    background-color: {{accent}};
}
QScrollBar::add-line, QScrollBar::sub-line {
    width: 0px;
    height: 0px;
    border: none;
    background: none;
}
QScrollBar::add-page, QScrollBar::sub-page {
    background: none;
}
QProgressBar {
    background-color: {{surfaceAlt}};
    border: none;
    border-radius: 4px;
    color: transparent;
    text-align: center;
    max-height: 8px;
}
QProgressBar::chunk {
    background-color: {{accent}};
    border-radius: 4px;
}
QFrame#InsetCard QProgressBar {
    background-color: {{border}};
}
QSlider {
    background-color: transparent;
}
QSlider::groove:horizontal {
    background-color: {{surfaceAlt}};
    border: 1px solid {{border}};
    height: 6px;
    border-radius: 4px;
}
QSlider::sub-page:horizontal {
    background-color: {{accent}};
    border-radius: 4px;
}
QSlider::handle:horizontal {
    background-color: {{accent}};
    width: 14px;
    height: 14px;
    margin: -5px 0px;
    border-radius: 7px;
}
QSlider::handle:horizontal:hover {
    background-color: {{accentHover}};
    width: 18px;
    height: 18px;
    margin: -7px 0px;
    border-radius: 9px;
}
QCheckBox {
    spacing: 8px;
}
QCheckBox::indicator {
    width: 16px;
    height: 16px;
    background-color: {{surfaceAlt}};
    border: 1px solid {{border}};
    border-radius: 4px;
}
QCheckBox::indicator:hover {
    border-color: {{accent}};
}
QCheckBox::indicator:checked {
    background-color: {{accent}};
    border-color: {{accent}};
    image: url(:/icons/check-white.png);
}
QStatusBar {
    background-color: {{surface}};
    color: {{textDim}};
    border-top: 1px solid {{border}};
    font-size: 12px;
}
QStatusBar::item {
    border: none;
}
QSizeGrip {
    background-color: transparent;
    width: 16px;
    height: 16px;
}
QStatusBar QLabel {
    background-color: transparent;
    color: {{textDim}};
    padding: 0px 8px;
}
QComboBox::drop-down {
    subcontrol-origin: padding;
    subcontrol-position: center right;
    width: 28px;
    border: none;
    background-color: transparent;
}
ComboBox {
    qproperty-arrowColor: {{textDim}};
}
QComboBox QAbstractItemView {
    background-color: {{surface}};
    color: {{text}};
    border: 1px solid {{border}};
    border-radius: 8px;
    padding: 4px;
    outline: none;
    selection-background-color: {{accent}};
    selection-color: white;
}
QComboBox QAbstractItemView::item {
    min-height: 26px;
    padding: 2px 8px;
    border-radius: 6px;
}
QComboBox QAbstractItemView::item:hover {
    background-color: {{surfaceAlt}};
}
QComboBox QAbstractItemView::item:selected {
    background-color: {{accent}};
    color: white;
}
QToolTip {
    background-color: {{surfaceAlt}};
    color: {{text}};
    border: 1px solid {{accent}};
    border-radius: 6px;
    padding: 5px 8px;
}
QPushButton#TitleBarButton, QPushButton#TitleBarCloseButton {
    background-color: transparent;
    border: none;
    border-radius: 0px;
    padding: 0px;
    min-height: 0px;
}
QPushButton#TitleBarButton:hover {
    background-color: {{hoverTint}};
}
QPushButton#TitleBarCloseButton:hover {
    background-color: #E5484D;
}
QPushButton#TitleBarCloseButton:pressed {
    background-color: #9C2226;
}
QLabel {
    background-color: transparent;
}
QLabel#AppTitle {
    color: {{text}};
    font-size: 20px;
    font-weight: 800;
    padding: 4px 12px 14px 12px;
}
QLabel#Muted {
    color: {{textDim}};
}
QLabel#SectionTitle {
    font-size: 15px;
    font-weight: 700;
}
QLabel#LeagueBadge {
    background-color: {{surfaceAlt}};
    color: {{textDim}};
    border: 1px solid {{border}};
    border-radius: 9px;
    padding: 2px 8px;
    font-size: 11px;
    font-weight: 600;
}
QLabel#NavBadge {
    background-color: {{accent}};
    color: white;
    border-radius: 9px;
    padding: 1px 7px;
    font-size: 11px;
    font-weight: 700;
}
QLabel#SidebarVersion {
    color: {{textDim}};
    font-size: 11px;
    padding: 6px 12px;
}
QLabel#StatValue {
    color: {{accent}};
    font-size: 22px;
    font-weight: 800;
}
QLabel#LiveBadge {
    background-color: #E5484D;
    color: white;
    border-radius: 9px;
    padding: 2px 8px;
    font-size: 11px;
    font-weight: 800;
}
QLabel#LiveScore {
    font-size: 26px;
    font-weight: 800;
}
QLabel#AiPickBadge {
    background-color: {{accentDark}};
    color: white;
    border: 1px solid {{accent}};
    border-radius: 9px;
    padding: 2px 8px;
    font-size: 11px;
    font-weight: 700;
}
QLabel#ScoreHighlight {
    color: {{accent}};
    font-size: 30px;
    font-weight: 800;
}
QFrame#Divider {
    background-color: {{border}};
    border: none;
    min-height: 1px;
    max-height: 1px;
}
QFrame#ChatBubbleUser {
    background-color: {{accent}};
    color: white;
    border: none;
    border-radius: 14px;
}
QFrame#ChatBubbleUser QLabel {
    color: white;
}
QFrame#ChatBubbleAI {
    background-color: {{surfaceAlt}};
    color: {{text}};
    border: 1px solid {{border}};
    border-radius: 14px;
}
QWidget#ChatSidebar {
    background-color: {{surface}};
    border-right: 1px solid {{border}};
}
QListWidget#ChatList {
    background-color: transparent;
    border: none;
    outline: none;
}
QListWidget#ChatList::item {
    color: {{textDim}};
    padding: 8px 10px;
    border-radius: 8px;
}
QListWidget#ChatList::item:hover {
    background-color: {{surfaceAlt}};
    color: {{text}};
}
QListWidget#ChatList::item:selected {
    background-color: {{accent}};
    color: white;
}
QScrollArea#ChatScroll {
    background-color: transparent;
    border: none;
}
QPushButton:focus, QLineEdit:focus, QComboBox:focus, QPlainTextEdit:focus, QTextEdit:focus,
QListWidget:focus {
    border: 2px solid {{focus}};
}
QPushButton:focus {
    padding: 7px 13px;
}
QPushButton#PrimaryButton:focus {
    border: 2px solid {{focus}};
    padding: 6px 12px;
}
QPushButton#SidebarNavButton:focus, QPushButton#NavButton:focus, QPushButton#SlidingTabButton:focus {
    border: 2px solid {{focus}};
    padding: 8px 10px;
}
QPushButton#IconButton:focus {
    border: 2px solid {{focus}};
    padding: 4px;
}
QLineEdit:focus, QComboBox:focus, QPlainTextEdit:focus, QTextEdit:focus {
    padding: 7px 9px;
}
QComboBox:focus {
    padding-right: 29px;
}
QCheckBox:focus {
    color: {{focus}};
}
QCheckBox::indicator:focus {
    border: 2px solid {{focus}};
}
)qss";

// Replaces "{{name}}" by its value for every token, in name order. Values are
// inserted literally: a value that happens to contain braces is not expanded.
QString substitute(const QString &text, const QMap<QString, QString> &tokens)
{
    QString out = text;
    for (auto it = tokens.constBegin(); it != tokens.constEnd(); ++it)
        out.replace(QStringLiteral("{{") + it.key() + QStringLiteral("}}"), it.value());
    return out;
}

// What the legacy look changes of the flat one: vertical gradients on the
// raised and sunken surfaces, and a darker edge round accent buttons. Raised
// parts run from surface to bg and sunken parts the other way: those two keep
// their order of lightness in both themes, so the light always comes from
// above.
QMap<QString, QString> lookTokens(bool legacy)
{
    const auto gradient = [](const QString &stops) {
        return QStringLiteral("qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, %1)").arg(stops);
    };
    if (!legacy) {
        return {
            {QStringLiteral("sidebarFill"), QStringLiteral("{{sidebar}}")},
            {QStringLiteral("raisedFill"), QStringLiteral("{{surface}}")},
            {QStringLiteral("sunkenFill"), QStringLiteral("{{surfaceAlt}}")},
            {QStringLiteral("buttonFill"), QStringLiteral("{{surfaceAlt}}")},
            {QStringLiteral("accentFill"), QStringLiteral("{{accent}}")},
            {QStringLiteral("accentHoverFill"), QStringLiteral("{{accentHover}}")},
            {QStringLiteral("pressedFill"), QStringLiteral("{{accentDark}}")},
            {QStringLiteral("hoverBorder"), QStringLiteral("{{accent}}")},
            {QStringLiteral("primaryBorder"), QStringLiteral("none")},
        };
    }
    return {
        {QStringLiteral("sidebarFill"), gradient(QStringLiteral("stop: 0 {{surface}}, stop: 1 {{sidebar}}"))},
        {QStringLiteral("raisedFill"), gradient(QStringLiteral("stop: 0 {{surface}}, stop: 1 {{bg}}"))},
        {QStringLiteral("sunkenFill"), gradient(QStringLiteral("stop: 0 {{bg}}, stop: 1 {{surface}}"))},
        {QStringLiteral("buttonFill"),
         gradient(QStringLiteral("stop: 0 {{surfaceAlt}}, stop: 0.08 {{surface}}, stop: 1 {{bg}}"))},
        {QStringLiteral("accentFill"),
         gradient(QStringLiteral("stop: 0 {{accentHover}}, stop: 1 {{accent}}"))},
        {QStringLiteral("accentHoverFill"),
         gradient(QStringLiteral("stop: 0 {{accentBright}}, stop: 1 {{accentHover}}"))},
        {QStringLiteral("pressedFill"),
         gradient(QStringLiteral("stop: 0 {{accentDark}}, stop: 1 {{accent}}"))},
        {QStringLiteral("hoverBorder"), QStringLiteral("{{accentDark}}")},
        {QStringLiteral("primaryBorder"), QStringLiteral("1px solid {{accentDark}}")},
    };
}

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

// A channel written as two hexadecimal digits at index; anything else is 0
// (toInt alone would also take a sign or a single digit).
int hexPair(const QString &digits, int index)
{
    if (digits.size() < index + 2 || !isHexDigit(digits.at(index)) || !isHexDigit(digits.at(index + 1)))
        return 0;
    return digits.mid(index, 2).toInt(nullptr, 16);
}

} // namespace

const ThemePalette &darkPalette()
{
    static const ThemePalette palette{QStringLiteral("#14171C"), QStringLiteral("#1B1F26"),
                                      QStringLiteral("#232833"), QStringLiteral("#2C323E"),
                                      QStringLiteral("#E8EAED"), QStringLiteral("#9AA3B2"),
                                      QStringLiteral("#101318")};
    return palette;
}

const ThemePalette &lightPalette()
{
    static const ThemePalette palette{QStringLiteral("#F4F6F8"), QStringLiteral("#FFFFFF"),
                                      QStringLiteral("#EEF1F5"), QStringLiteral("#DCE1E8"),
                                      QStringLiteral("#1B1F26"), QStringLiteral("#5B6472"),
                                      QStringLiteral("#FFFFFF")};
    return palette;
}

const ThemePalette &paletteFor(const QString &theme)
{
    return theme == QLatin1String("dark") ? darkPalette() : lightPalette();
}

const QMap<QString, AccentPalette> &accentPalettes()
{
    static const QMap<QString, AccentPalette> palettes = {
        {QStringLiteral("green"),
         {QStringLiteral("#1CB05A"), QStringLiteral("#22C766"), QStringLiteral("#0D5C30")}},
        {QStringLiteral("blue"),
         {QStringLiteral("#2F7DE1"), QStringLiteral("#4C93F0"), QStringLiteral("#1B4C8C")}},
        {QStringLiteral("purple"),
         {QStringLiteral("#8B5CF6"), QStringLiteral("#A379F8"), QStringLiteral("#5B3A9E")}},
        {QStringLiteral("orange"),
         {QStringLiteral("#E8792F"), QStringLiteral("#F4924D"), QStringLiteral("#9C4E17")}},
        {QStringLiteral("red"),
         {QStringLiteral("#E5484D"), QStringLiteral("#EF6469"), QStringLiteral("#9C2226")}},
        {QStringLiteral("teal"),
         {QStringLiteral("#0D9488"), QStringLiteral("#14B8A6"), QStringLiteral("#065F52")}},
        {QStringLiteral("cyan"),
         {QStringLiteral("#0891B2"), QStringLiteral("#22D3EE"), QStringLiteral("#155E75")}},
        {QStringLiteral("pink"),
         {QStringLiteral("#DB2777"), QStringLiteral("#EC4899"), QStringLiteral("#831843")}},
        {QStringLiteral("indigo"),
         {QStringLiteral("#4F46E5"), QStringLiteral("#818CF8"), QStringLiteral("#312E81")}},
    };
    return palettes;
}

QString lighten(const QString &hex, double amount)
{
    QString digits = hex;
    digits.remove(QLatin1Char('#'));
    QString out = QStringLiteral("#");
    for (int index = 0; index < 6; index += 2) {
        const int channel = hexPair(digits, index);
        // std::lround rounds halves away from zero: 127.5 becomes 128.
        const long mixed = std::lround((255 - channel) * amount + channel);
        out += QStringLiteral("%1").arg(std::clamp<long>(mixed, 0, 255), 2, 16, QLatin1Char('0'));
    }
    return out.toUpper();
}

QString buildStylesheet(const QString &theme, const QString &accent, const QString &style)
{
    const ThemePalette &palette = paletteFor(theme);
    const auto &accents = accentPalettes();
    const AccentPalette accentPalette = accents.value(accent, accents.value(DEFAULT_ACCENT));

    const QMap<QString, QString> tokens = {
        {QStringLiteral("bg"), palette.bg},
        {QStringLiteral("surface"), palette.surface},
        {QStringLiteral("surfaceAlt"), palette.surfaceAlt},
        {QStringLiteral("border"), palette.border},
        {QStringLiteral("text"), palette.text},
        {QStringLiteral("textDim"), palette.textDim},
        {QStringLiteral("sidebar"), palette.sidebar},
        {QStringLiteral("accent"), accentPalette.accent},
        {QStringLiteral("accentHover"), accentPalette.hover},
        {QStringLiteral("accentDark"), accentPalette.dark},
        {QStringLiteral("accentBright"), lighten(accentPalette.hover, 0.35)},
        // The keyboard focus ring: light on the dark theme, deep on the light one.
        {QStringLiteral("focus"), theme == QLatin1String("dark") ? accentPalette.hover : accentPalette.dark},
        {QStringLiteral("hoverTint"), theme == QLatin1String("dark")
                                          ? QStringLiteral("rgba(255, 255, 255, 14)")
                                          : QStringLiteral("rgba(0, 0, 0, 10)")},
    };

    // The look's fills first: they are written in the palette's tokens. The
    // literal starts with a line break so that it reads well; the sheet
    // itself starts with its first rule.
    const QString sheet =
        substitute(QString::fromUtf8(SHEET).trimmed(), lookTokens(style == QLatin1String("legacy")));
    return substitute(sheet, tokens) + QLatin1Char('\n');
}
