#!/usr/bin/env bash
# Prepares a private Wine prefix: created once, with a Japanese font so dialog labels render.
# Usage: scripts/wine_prefix.sh PREFIX_DIR
set -euo pipefail
prefix=$1
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [[ ! -f $prefix/system.reg ]]; then
  mkdir -p "$prefix"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
# Map the dialog font's name to IPA's proportional gothic, installed by fonts-ipafont.
fonts_dir=$prefix/drive_c/windows/Fonts
mkdir -p "$fonts_dir"
for f in /usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf /usr/share/fonts/opentype/ipafont-gothic/ipag.ttf; do
  [[ -f $f ]] && cp -f "$f" "$fonts_dir/"
done
if [[ ! -f $prefix/.aperlume-fonts ]]; then
  cat > "$prefix/fonts.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"ＭＳ Ｐゴシック"="IPAPGothic"
"MS PGothic"="IPAPGothic"
"ＭＳ ゴシック"="IPAGothic"
"MS Gothic"="IPAGothic"
REG
  iconv -f UTF-8 -t UTF-16LE "$prefix/fonts.reg" | { printf '\xff\xfe'; cat; } > "$prefix/fonts16.reg"
  wine regedit /S "$prefix/fonts16.reg" >/dev/null 2>&1 || true
  wineserver -w || true
  touch "$prefix/.aperlume-fonts"
fi
