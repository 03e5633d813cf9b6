#!/usr/bin/env bash
# The private Wine prefix of the Windows checks, with a persistent server:
#   prefix.sh start   creates the prefix, then starts the server detached and
#                     warms it up (in this order: a server started before the
#                     prefix exists leaves two service processes, and every
#                     later COM process then waits for one of them);
#   prefix.sh stop    stops the server, which also writes the registry files.
# WINEPREFIX, the Wine directory (KW_WINE_DIR) and the loader (KW_WINE: wine64,
# or wine for the 32-bit checks) come from the environment.
set -euo pipefail
wine_dir=${KW_WINE_DIR:-/usr/lib/wine}
wine=${KW_WINE:-$wine_dir/wine64}
case "${1:-}" in
  start)
    "$wine_dir/wineserver" -k 2>/dev/null || true
    "$wine" wineboot --init </dev/null >/dev/null 2>&1
    "$wine_dir/wineserver" -w
    setsid "$wine_dir/wineserver" -f -p </dev/null >/dev/null 2>&1 &
    sleep 0.5  # let it take the socket before the first client looks for one
    "$wine" cmd /c exit </dev/null >/dev/null 2>&1
    ;;
  stop)
    "$wine_dir/wineserver" -k 2>/dev/null || true
    ;;
  *)
    echo "usage: prefix.sh start|stop" >&2
    exit 2
    ;;
esac
