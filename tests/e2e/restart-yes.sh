#!/usr/bin/env bash
# Yes to the restart question. Wine's restart ends the windowed programs of its prefix, a test program driving
# it included, so this runs from the shell in a prefix of its own.
# Usage: restart-yes.sh BENCH ROOT BUILD win64|win32
set -euo pipefail
bench=$1; root=$2; build=$3; kind=$4
"$bench" "$root" ensure "$kind" >/dev/null 2>&1 </dev/null
eval "$("$bench" "$root" env "$kind")"
export TESTSVC_EXE="Z:$(echo "$build/tests/ops/ops_testsvc.exe" | tr / '\\')"
tool() { wine "$build/tools/demo/$1.exe" "${@:2}" </dev/null; }
fail() { echo "restart-yes: $*" >&2; exit 1; }
agent='C:\Program Files\Corvane'; unix_agent="$WINEPREFIX/drive_c/Program Files/Corvane"; log="$WINEPREFIX/drive_c/Tools/Log/AgentUninstaller_Win.exe.log"
title='エージェント端末アンインストーラー'

msi="Z:$(echo "$build/tests/seedagent/CorvaneAgent.msi" | tr / '\\')"
tool seedagent unseed "$agent" >/dev/null 2>&1
if [ "$kind" = win64 ]; then
  # The agent installed by its package, and what the package cannot carry added by hand.
  wine msiexec /x "$msi" /qn >/dev/null 2>&1 || true  # the installer's records of an earlier run
  wine msiexec /i "$msi" /qn </dev/null || fail "the package did not install"
  tool seedagent extras "$agent" || fail "extras"
else
  tool seedagent seed "$agent" 2.000.08 AB12CD34 prompt || fail "seed"  # the package is 64-bit
fi
mkdir -p "$WINEPREFIX/drive_c/Tools"; rm -rf "$WINEPREFIX/drive_c/Tools/Log"
cp "$build/AgentUninstaller_Win.exe" "$WINEPREFIX/drive_c/Tools/"
wine "$build/tools/demo/seedagent.exe" hold "$agent\\bin\\data\\inventory.dat" </dev/null >/dev/null 2>&1 &
holder=$!  # the holding process itself, so it can be ended
sleep 1
wine 'C:\Tools\AgentUninstaller_Win.exe' </dev/null >/dev/null 2>&1 &
app=$!
tool uidriver settext "$title" 1000 AB12CD34 >/dev/null || fail "no contract dialog"
tool uidriver click "$title" 1 >/dev/null
tool uidriver box '確認' >/dev/null || fail "no restart question"
[ -e "$unix_agent/bin/data/inventory.dat" ] || fail "the held file went before the restart"
# Wine's restart (ExitWindowsEx starts wineboot --end-session in this session) carries out the deletions at once and
# drops those that fail; a real restart ends every program first. So the holder ends before the answer.
kill "$holder"; wait "$holder" 2>/dev/null || true
tool uidriver key '確認' yes >/dev/null || fail "no restart question"
wait "$app" || true
grep -q "$(echo '再起動を要求します' | iconv -f UTF-8 -t CP932)" "$log" || fail "the restart request is not logged"
! grep -q "$(echo '再起動の要求に失敗' | iconv -f UTF-8 -t CP932)" "$log" || fail "the restart request failed"
restarting() {  # a wineboot of this prefix still runs
  local p
  for p in $(pgrep -f wineboot); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}
for _ in $(seq 1200); do restarting || break; sleep 0.1; done
! restarting || fail "the restart did not end"
[ ! -e "$unix_agent" ] || fail "the install folder outlived the restart"
echo "restart-yes ($kind): requested, logged, and the folder went with the restart"
