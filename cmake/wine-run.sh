#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Runs a Windows program under Wine for the build: wine-run.sh PREFIX PROGRAM ARGS...
# PREFIX is the build's own Wine prefix (made on first use), so that nothing
# under $HOME is touched. No display is needed: the programs are console
# programs.
#
# The Wine server is started here, before any program, and kept up 60 s after
# the last program ends (-p60): the next run starts at once, and no run meets
# a server on its way out. Wine's own background processes start with it,
# away from the program's output: started by the program, they would hold its
# output open (and keep ctest waiting) until the server ends. A lock keeps
# runs started together (ctest -j, test discovery) from doing this twice; the
# server and Wine's processes must not inherit it (9>&-), or they would hold
# it as long as they live.
set -e
prefix=$1
shift
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
wine=${VENTRAC_WINE:-wine}
mkdir -p "$prefix"
(
  flock 9
  if wineserver -p60 >/dev/null 2>&1 </dev/null 9>&-; then
    if [ ! -f "$prefix/system.reg" ]; then
      "$wine" wineboot -i >/dev/null 2>&1 </dev/null 9>&- || true
    else
      "$wine" cmd /c exit >/dev/null 2>&1 </dev/null 9>&- || true
    fi
  fi
) 9>"$prefix/.ventrac-lock"
exec "$wine" "$@"
