#!/usr/bin/env bash
# Writes resources/fonts/fontawesome6-solid-icons.ttf: the glyphs of the full
# Font Awesome 6 Free Solid font (resources/fonts/fontawesome6-solid.ttf) that
# the program names in src/ui/common/Icons.cpp, and nothing else. The full
# font is 420 KB and the program draws about fifty of its glyphs; loading the
# small one keeps the first frame quick. Run it again after adding an icon
# name (the widget tests fail on a name the compiled-in font lacks).
#
# Needs pyftsubset (Debian package fonttools).
set -euo pipefail
cd "$(dirname "$0")/.."
command -v pyftsubset >/dev/null || { echo "pyftsubset is needed: apt-get install fonttools" >&2; exit 1; }
codes=$(grep -oE '\{QStringLiteral\("[a-z-]+"\), 0x[0-9A-Fa-f]+\}' src/ui/common/Icons.cpp |
    sed -E 's/.*0x([0-9A-Fa-f]+)\}/U+\1/' | sort -u | paste -sd, -)
[[ -n "$codes" ]] || { echo "no code points found in src/ui/common/Icons.cpp" >&2; exit 1; }
pyftsubset resources/fonts/fontawesome6-solid.ttf --unicodes="$codes" --layout-features='*' \
    --output-file=resources/fonts/fontawesome6-solid-icons.ttf
echo "$(tr ',' '\n' <<<"$codes" | wc -l) glyphs -> resources/fonts/fontawesome6-solid-icons.ttf"
