#!/usr/bin/env bash
# Creates the Wine prefix named by WINEPREFIX once: a 32-bit prefix (or,
# with VOREL_WINEARCH=win64, one that runs 64- and 32-bit programs side by
# side) whose windows are not managed, since under Xvfb no window manager
# answers and Wine would wait on every window it hides. On every run it takes Wine's own
# data sources out of the prefix (see remove_wine_sources).
set -u
: "${WINEPREFIX:?WINEPREFIX must be set}"

# Wine installs data sources of its own (sane.ds, gphoto2.ds) into twain_32
# and twain_64, and a source manager that lists sources loads every one it
# finds. Only the project's source may run in a test, so they go: each file
# there that Wine made (its builtin DLLs and their placeholders carry Wine's
# mark) is deleted. The project's source copied in as sane.ds, as the tests
# of Wine's own TWAIN_32.DLL do, carries no such mark and stays. Run on every
# start, since Wine puts them back when it updates a prefix.
remove_wine_sources() {
  local folder file
  for folder in "$WINEPREFIX/drive_c/windows/twain_32" "$WINEPREFIX/drive_c/windows/twain_64"; do
    [ -d "$folder" ] || continue
    for file in "$folder"/*; do
      [ -f "$file" ] || continue
      if head -c 4096 "$file" | grep -aq -e 'Wine placeholder DLL' -e 'Wine builtin DLL'; then
        rm -f "$file"
      fi
    done
  done
}

if [ -f "$WINEPREFIX/.vorel-prefix" ]; then
  remove_wine_sources
  exit 0
fi
export WINEARCH=${VOREL_WINEARCH:-win32} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
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
remove_wine_sources
touch "$WINEPREFIX/.vorel-prefix"
