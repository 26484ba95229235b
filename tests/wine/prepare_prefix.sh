#!/usr/bin/env bash
# Creates the Wine prefix named by WINEPREFIX once: a 32-bit prefix whose
# windows are not managed, since under Xvfb no window manager answers and
# Wine would wait on every window it hides.
set -u
: "${WINEPREFIX:?WINEPREFIX must be set}"
[ -f "$WINEPREFIX/.vorel-prefix" ] && exit 0
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
mkdir -p "$(dirname "$WINEPREFIX")"
wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w
# Wine as packaged here does not look for its own fonts (fonts-wine) where
# they are installed; without Marlett and Tahoma the caption buttons and the
# system menu show stray letters. The prefix's fonts folder is always read.
fonts="$WINEPREFIX/drive_c/windows/Fonts"
mkdir -p "$fonts"
for font in /usr/share/wine/fonts/*.ttf; do
  [ -f "$font" ] && cp -n "$font" "$fonts/"
done
touch "$WINEPREFIX/.vorel-prefix"
