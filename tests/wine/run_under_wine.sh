#!/usr/bin/env bash
# Runs one Windows program under Wine with the project's own prefix, quiet,
# with our TWAIN_32.DLL preferred over Wine's, and a time limit. The caller
# provides the display (xvfb-run) and WINEPREFIX.
set -u
: "${WINEPREFIX:?WINEPREFIX must be set}"
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all}
# A prefix of the user's (./vorel scan) is used as it is, whatever its
# architecture; the project's own are made once, 32-bit (or, with
# VOREL_WINEARCH=win64, one that runs both).
[ "${VOREL_USER_PREFIX:-0}" = 1 ] || export WINEARCH=${VOREL_WINEARCH:-win32}
# Our TWAIN_32.DLL beside the program comes first, unless --builtin-twain
# asks for Wine's own source manager.
twain=n,b
if [ "${1:-}" = "--builtin-twain" ]; then
  twain=b
  shift
fi
export WINEDLLOVERRIDES="twain_32=$twain;mscoree=;mshtml=;winemenubuilder.exe=d"
[ "${VOREL_USER_PREFIX:-0}" = 1 ] || "$(dirname "${BASH_SOURCE[0]}")/prepare_prefix.sh"
# exec: a signal to this script's process reaches the program through timeout.
exec timeout --kill-after=10 "${VOREL_WINE_TIMEOUT:-200}" wine "$@"
