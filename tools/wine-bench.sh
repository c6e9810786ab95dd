#!/usr/bin/env bash
# The Wine test bench: prefixes, sessions and a virtual display.
#
#   wine-bench.sh ROOT ensure KIND          create the prefix (once) and start its session
#   wine-bench.sh ROOT run KIND EXE [ARGS]  run a Windows program in it, exit code passed through
#   wine-bench.sh ROOT env KIND             print the environment to source
#   wine-bench.sh ROOT stop                 end every session and the display
#
# KIND is win64 (64-bit Windows, the program under WoW64) or win32.
# Prefixes live in ROOT/KIND and are reused; a fresh one is made from a
# ready template with cp, which is much faster than wineboot.
set -euo pipefail
# Raised whenever configure_prefix changes, so older prefixes are made anew.
BENCH_VERSION=2

root=$1; cmd=$2; shift 2
mkdir -p "$root"
root=$(cd "$root" && pwd)

bench_env() {
  local kind=$1
  export WINEPREFIX="$root/$kind"
  export WINEARCH=$kind
  export WINEDEBUG=-all
  # winemenubuilder: started by every saved shortcut, it opens the target for its icon meanwhile.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
  if [ -z "${WINE_BENCH_KEEP_DISPLAY:-}" ] || [ -z "${DISPLAY:-}" ]; then
    export DISPLAY=":$(cat "$root/display")"
  fi
}

display_alive() {
  [ -f "$root/display" ] || return 1
  local n; n=$(cat "$root/display")
  [ -f "/tmp/.X$n-lock" ] || return 1
  kill -0 "$(tr -d ' ' < "/tmp/.X$n-lock")" 2>/dev/null
}

ensure_display() {
  display_alive && return 0
  local n
  for n in $(seq 90 189); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    setsid Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 9>&- &
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    if [ -e "/tmp/.X11-unix/X$n" ]; then echo "$n" > "$root/display"; return 0; fi
  done
  echo "wine-bench: no free display for Xvfb" >&2; return 1
}

# Settings every prefix needs: no window manager waits, no crash dialog,
# user folders as real folders inside the prefix (not links to the unix home).
configure_prefix() {
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  # The dialogs' Japanese fonts, which Wine does not ship: without a stand-in of
  # the same metrics their texts are clipped.
  local f
  for f in 'MS UI Gothic' 'ＭＳ Ｐゴシック' 'MS PGothic'; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$f" /t REG_SZ /d IPAPGothic /f >/dev/null 2>&1
  done
  local d
  for d in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$d" ]; then rm -f "$d"; mkdir -p "$d"; fi
  done
  wineserver -w
}

session_alive() {
  [ -f "$WINEPREFIX/.bench-session" ] || return 1
  kill -0 "$(cat "$WINEPREFIX/.bench-session")" 2>/dev/null
}

start_session() {
  session_alive && return 0
  # Detached and with every standard stream on /dev/null: Wine's background
  # processes keep what they inherit, and a test runner waiting on its pipes hangs.
  setsid wineserver -p </dev/null >/dev/null 2>&1 9>&- || true
  setsid wine wineboot </dev/null >/dev/null 2>&1 9>&- || true
  local pid
  pid=$(pgrep -n -x wineserver || true)
  # wineserver has no flag to name its prefix; find the one whose cwd is this prefix's server dir.
  for p in $(pgrep -x wineserver || true); do
    if [ "$(readlink "/proc/$p/cwd" 2>/dev/null)" = "$(server_dir)" ]; then pid=$p; fi
  done
  echo "$pid" > "$WINEPREFIX/.bench-session"
}

# What every test relies on, checked whenever a prefix is ensured: code page 932 (the Japanese
# locale), a prefix of the kind asked for (WoW64 or not), and user folders inside the prefix
# (tests delete desktop shortcuts; they must never reach the unix home).
check_bench() {
  local kind=$1 has_wow=win32
  locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8' || { echo "wine-bench: no ja_JP.UTF-8 locale (code page 932)" >&2; return 1; }
  [ -d "$WINEPREFIX/drive_c/windows/syswow64" ] && has_wow=win64
  [ "$has_wow" = "$kind" ] || { echo "wine-bench: $WINEPREFIX is not a $kind prefix" >&2; return 1; }
  if find "$WINEPREFIX/drive_c/users" -mindepth 2 -maxdepth 2 -type l | grep -q .; then
    echo "wine-bench: user folders of $WINEPREFIX link out of the prefix" >&2; return 1
  fi
}

server_dir() {
  local st; st=$(stat -c '%d %i' "$WINEPREFIX")
  set -- $st
  printf '/tmp/.wine-%s/server-%x-%x' "$(id -u)" "$1" "$2"
}

ensure_prefix() {
  local kind=$1
  bench_env "$kind"
  if [ "$(cat "$WINEPREFIX/.bench-ready" 2>/dev/null)" != "$BENCH_VERSION" ]; then
    # Templates may be shared between build trees (WINE_BENCH_TEMPLATES).
    local troot=${WINE_BENCH_TEMPLATES:-$root}
    local tmpl="$troot/template-$kind"
    mkdir -p "$troot"
    (
      exec 8>"$troot/.template-lock"; flock 8
      if [ "$(cat "$tmpl/.bench-ready" 2>/dev/null)" != "$BENCH_VERSION" ]; then
        rm -rf "$tmpl"
        WINEPREFIX=$tmpl wineboot -i </dev/null >/dev/null 2>&1 8>&- 9>&-
        WINEPREFIX=$tmpl configure_prefix 8>&- 9>&-
        WINEPREFIX=$tmpl wineserver -k 2>/dev/null || true
        echo "$BENCH_VERSION" > "$tmpl/.bench-ready"
      fi
    )
    [ -f "$WINEPREFIX/.bench-session" ] && WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    cp -a "$tmpl" "$WINEPREFIX"
    rm -f "$WINEPREFIX/.bench-session"
  fi
  # The caption buttons' symbol font (Debian's fonts-wine): Wine finds it only in the prefix's own Fonts
  # folder, which prefixes made before the package came lack; without it the close box shows an "r".
  local marlett=/usr/share/wine/fonts/marlett.ttf
  if [ -e "$marlett" ] && [ ! -e "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ]; then
    cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
  start_session
  check_bench "$kind"
}

case "$cmd" in
  ensure)
    exec 9>"$root/.lock"; flock 9
    ensure_display; ensure_prefix "$1" ;;
  run)
    kind=$1; shift
    ( exec 9>"$root/.lock"; flock 9; ensure_display; ensure_prefix "$kind" )
    bench_env "$kind"
    set +e
    wine "$@"
    rc=$?
    exit $rc ;;
  env)
    kind=$1
    ( exec 9>"$root/.lock"; flock 9; ensure_display; ensure_prefix "$kind" ) >&2
    bench_env "$kind"
    for v in WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES LANG LC_ALL DISPLAY; do
      printf 'export %s=%q\n' "$v" "${!v}"
    done ;;
  stop)
    for p in "$root"/win64 "$root"/win32 "$root"/template-*; do
      [ -d "$p" ] && WINEPREFIX=$p wineserver -k 2>/dev/null || true
      rm -f "$p/.bench-session"
    done
    if display_alive; then kill "$(tr -d ' ' < "/tmp/.X$(cat "$root/display")-lock")" 2>/dev/null || true; fi
    rm -f "$root/display" ;;
  *) echo "usage: wine-bench.sh ROOT ensure|run|env|stop ..." >&2; exit 2 ;;
esac
