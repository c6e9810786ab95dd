#!/usr/bin/env bash
# Yes to the restart question, and /forcerestart, from the shell in a prefix of its own: Wine's restart ends every
# process of its prefix, a test program's included. Usage: restart-yes.sh BENCH ROOT BUILD win64|win32
set -euo pipefail
bench=$1; root=$2; build=$3; kind=$4
"$bench" "$root" ensure "$kind" >/dev/null 2>&1 </dev/null
eval "$("$bench" "$root" env "$kind")"
export TESTSVC_EXE="Z:$(echo "$build/tests/ops/ops_testsvc.exe" | tr / '\\')"
tool() { wine "$build/tools/demo/$1.exe" "${@:2}" </dev/null; }
fail() { echo "restart-yes: $*" >&2; exit 1; }
agent='C:\Program Files\Corvane'; unix_agent="$WINEPREFIX/drive_c/Program Files/Corvane"; log="$WINEPREFIX/drive_c/Tools/Log/AgentUninstaller_Win.exe.log"
title='エージェント端末アンインストーラー'; msi="Z:$(echo "$build/tests/seedagent/CorvaneAgent.msi" | tr / '\\')"
restarting() {  # a wineboot of this prefix still runs
  for p in $(pgrep -f wineboot); do tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0; done
  return 1
}
# Yes to the question, then /forcerestart in a quiet run: each exits 1641 (read whole through the driver's
# launcher: wine's own status keeps 8 bits), the quiet one without a window.
for mode in yes force; do
  tool seedagent unseed "$agent" >/dev/null 2>&1
  if [ "$kind" = win64 ]; then  # the agent installed by its package, what it cannot carry added by hand
    wine msiexec /x "$msi" /qn >/dev/null 2>&1 || true  # the installer's records of an earlier run
    wine msiexec /i "$msi" /qn </dev/null || fail "the package did not install"
    tool seedagent extras "$agent" || fail "extras"
  else
    tool seedagent seed "$agent" 2.000.08 AB12CD34 prompt || fail "seed"  # the package is 64-bit
  fi
  mkdir -p "$WINEPREFIX/drive_c/Tools"; rm -rf "$WINEPREFIX/drive_c/Tools/Log"
  cp "$build/AgentUninstaller_Win.exe" "$WINEPREFIX/drive_c/Tools/"
  printf 'AB12CD34\r\n' > "$WINEPREFIX/drive_c/Tools/contract.txt"
  wine "$build/tools/demo/seedagent.exe" hold "$agent\\bin\\data\\inventory.dat" </dev/null >/dev/null 2>&1 &
  holder=$!; sleep 1  # the holding process itself, so it can be ended
  if [ "$mode" = yes ]; then
    tool uidriver run 'C:\Tools\AgentUninstaller_Win.exe' >"$root/exit-$kind" 2>&1 & app=$!
    tool uidriver settext "$title" 1000 AB12CD34 >/dev/null || fail "no contract dialog"
    tool uidriver click "$title" 1 >/dev/null
    tool uidriver box '確認' >/dev/null || fail "no restart question"
    [ -e "$unix_agent/bin/data/inventory.dat" ] || fail "the held file went before the restart"
    # Wine's restart (ExitWindowsEx starts wineboot --end-session in this session) carries out the deletions at
    # once and drops those that fail; a real restart ends every program first. So the holder ends before the answer.
    kill "$holder"; wait "$holder" 2>/dev/null || true
    tool uidriver key '確認' yes >/dev/null || fail "no restart question"
    wait "$app" || true
    expected="exit 1641 window"
  else
    # Nothing can end the holder between the run's scheduling and its restart: the folder is left to the yes run.
    tool uidriver run 'C:\Tools\AgentUninstaller_Win.exe' /quiet /forcerestart /contractfile=contract.txt >"$root/exit-$kind" 2>&1
    expected="exit 1641"
  fi
  [ "$(tr -d '\r' < "$root/exit-$kind")" = "$expected" ] || fail "$mode: $(cat "$root/exit-$kind"), not $expected"
  grep -q "$(echo '再起動を要求します' | iconv -f UTF-8 -t CP932)" "$log" || fail "the restart request is not logged"
  ! grep -q "$(echo '再起動の要求に失敗' | iconv -f UTF-8 -t CP932)" "$log" || fail "the restart request failed"
  summary=$(tr -d '\r' < "$log" | grep -av '^$' | tail -n 2 | head -n 1 | cut -f 6)
  [ "$summary" = "RESULT=000 EXIT=1641 RESTART=1" ] || fail "$mode: the summary line is '$summary'"
  kill "$holder" 2>/dev/null || true; wait "$holder" 2>/dev/null || true
  for _ in $(seq 1200); do restarting || break; sleep 0.1; done
  ! restarting || fail "$mode: the restart did not end"
  [ "$mode" != yes ] || [ ! -e "$unix_agent" ] || fail "$mode: the install folder outlived the restart"
done
echo "restart-yes ($kind): asked and forced, each requested (1641) and logged; the folder went with the asked restart"
