#!/bin/sh
# Runs a Windows program under Wine for the build: wine-run.sh PREFIX PROGRAM ARGS...
# PREFIX is the build's own Wine prefix (made on first use), so that nothing
# under $HOME is touched. No display is needed: the programs are console
# programs.
set -e
prefix=$1
shift
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
wine=${VENTRAC_WINE:-wine}
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  "$wine" wineboot -i >/dev/null 2>&1 </dev/null || true
fi
# The Wine server is kept up 60 s after the last program ends, so that the
# next run starts at once. When it starts here, Wine's own background
# processes are started with it, away from this program's output: started by
# the program, they would hold its output open (and keep ctest waiting) until
# the server ends.
if wineserver -p60 >/dev/null 2>&1 </dev/null; then
  "$wine" cmd /c exit >/dev/null 2>&1 </dev/null || true
fi
exec "$wine" "$@"
