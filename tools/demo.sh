#!/usr/bin/env bash
# make demo: a Wine prefix with a simulated agent installation, then the real
# uninstaller, driven through its windows; a screenshot of each window it shows,
# cropped to that window. The README's pictures among them are written to docs/.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
cd "$(dirname "$0")/.."
root="$build/demo-wine"
shots="$build/demo"
docs="$PWD/docs"
mkdir -p "$shots" "$docs"; rm -f "$shots"/*.png

# On the operator's display when there is one, else on Xvfb.
if [ -n "${DISPLAY:-}" ]; then export WINE_BENCH_KEEP_DISPLAY=1; fi
source <(tools/wine-bench.sh "$root" env win64)
# A caret that blinks would make each picture of the contract dialog differ from the last.
wine reg add 'HKCU\Control Panel\Desktop' /v CursorBlinkRate /t REG_SZ /d -1 /f >/dev/null 2>&1

title='エージェント端末アンインストーラー'
contract='AB12CD34'
exe_dir='C:\Tools'
agent_dir='C:\Program Files\Corvane'
export TESTSVC_EXE="Z:$(echo "$build/tests/ops/ops_testsvc.exe" | tr / '\\')"
driver() { wine "$build/tools/demo/uidriver.exe" "$@" | iconv -f CP932 -t UTF-8 | tr -d '\r'; }
# The place of a window on the screen, as the driver reports it ("rect WxH+X+Y").
rect() { sed -n 's/^rect //p'; }
# The screen cut to a window. No dates, times or other text in the file, so a window
# that did not change gives the same bytes; those the README shows are copied to docs/.
shot() {
  local f="$shots/$1.png"
  import -display "$DISPLAY" -window root miff:- 2>/dev/null |
    convert miff:- -crop "$2" +repage -strip -define png:exclude-chunks=date,time "$f"
  echo "  screenshot: $f ($(identify -format '%wx%h' "$f"))"
  if [ -n "${3:-}" ]; then cp "$f" "$docs/$3.png"; fi
}

# What the agent has on the machine: its folder, service, shortcuts and key.
state() {
  local folder="$WINEPREFIX/drive_c/Program Files/Corvane" desk="$WINEPREFIX/drive_c/users/Public/Desktop"
  local svc key n=0 f
  svc=$(wine sc query Corvane 2>/dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *//p' || true)
  key=$(wine reg query 'HKLM\SOFTWARE\Corvane' /v InstallPath /reg:64 >/dev/null 2>&1 && echo present || echo gone)
  for f in "$desk/インベントリ情報アップロード.lnk" "$desk/リモート操作クライアント.lnk"; do
    [ -e "$f" ] && n=$((n + 1))
  done
  printf '  %-10s %s\n' "folder" "$([ -d "$folder" ] && echo "present ($(find "$folder" -type f | wc -l) files)" || echo gone)" \
    "service" "${svc:-gone}" "shortcuts" "$n of 2" "key" "$key"
}

msi="Z:$(echo "$build/tests/seedagent/CorvaneAgent.msi" | tr / '\\')"
install() {
  wine "$build/tools/demo/seedagent.exe" unseed "$agent_dir"
  wine msiexec /x "$msi" /qn >/dev/null 2>&1 || true  # the installer's records of an earlier run
  wine msiexec /i "$msi" /qn
  wine "$build/tools/demo/seedagent.exe" extras "$agent_dir"
}
log="$WINEPREFIX/drive_c/Tools/Log/AgentUninstaller_Win.exe.log"
show_log() {
  echo "== log ($exe_dir\\Log\\AgentUninstaller_Win.exe.log)"
  iconv -f CP932 -t UTF-8 "$log" 2>/dev/null || echo "  (no log)"
  rm -f "$log"
}
# Starts the uninstaller and confirms the contract number.
start() {
  echo "== running $exe_dir\\AgentUninstaller_Win.exe"
  wine "$exe_dir\\AgentUninstaller_Win.exe" &
  app=$!
  driver wait "$title" >/dev/null
  driver settext "$title" 1000 "$contract"
  driver click "$title" 1
}

echo "== simulated agent installation: its Windows Installer package, then what the package cannot carry"
install
echo "== before"
state
mkdir -p "$WINEPREFIX/drive_c/Tools"
rm -rf "$WINEPREFIX/drive_c/Tools/Log"
cp "$build/AgentUninstaller_Win.exe" "$WINEPREFIX/drive_c/Tools/"

echo "== running $exe_dir\\AgentUninstaller_Win.exe"
wine "$exe_dir\\AgentUninstaller_Win.exe" &
app=$!

at=$(driver wait "$title" | rect)
# The pointer parked over the edit, where no button shows it: wherever an earlier run left it.
driver hover "$title" 1000
sleep 0.5; shot 1-contract-dialog "$at"
driver settext "$title" 1000 "$contract"
sleep 0.3; shot 2-contract-typed "$at" contract-dialog
driver hover "$title" 2
sleep 0.5; shot 3-pointer-over-close "$at"
driver press "$title" 2
sleep 0.3; shot 4-close-pressed "$at"
driver release "$title" 2
driver hover "$title" 1000
driver click "$title" 1
# The progress dialog has the same caption; the service takes two seconds to stop, and the
# dialog stands on its first step meanwhile.
for _ in $(seq 20); do
  out=$(driver wait "$title" || true)
  if grep -q '^  child .* msctls_progress32 ' <<<"$out"; then break; fi
done
sleep 0.3; shot 5-progress "$(rect <<<"$out")" progress-dialog
grep -q 'サービスを停止中です。' <<<"$out" || echo "  (the progress dialog had passed its first step)"

# The result box has the same caption as the dialog it follows.
at=$(driver box "$title" | rect)
sleep 0.3; shot 6-result "$at" result-done
driver key "$title" enter
wait "$app" || true
echo "== after"
state
show_log

# The same removal as a deployment tool runs it: no window, the outcome in the exit code and one log line.
echo "== the agent installed again, then a quiet run: $exe_dir\\AgentUninstaller_Win.exe /quiet /contractfile=contract.txt"
install >/dev/null 2>&1
printf '%s\r\n' "$contract" > "$WINEPREFIX/drive_c/Tools/contract.txt"
quiet=$(wine "$build/tools/demo/uidriver.exe" run "$exe_dir\\AgentUninstaller_Win.exe" /quiet /contractfile=contract.txt | tr -d '\r')
echo "  exit code: ${quiet#exit }"
echo "  summary:   $(iconv -f CP932 -t UTF-8 "$log" | tr -d '\r' | grep -v '^$' | tail -n 2 | head -n 1 | cut -f 6)"
state
show_log

echo "== again, with a file of the agent held open: it is left for the restart"
install
held="$agent_dir\\ソフト表示機能\\能力表.txt"
wine "$build/tools/demo/seedagent.exe" hold "$held" &
holder=$!
sleep 1
start
at=$(driver box '確認' | rect)
sleep 0.3; shot 7-restart-question "$at" restart-question
driver key '確認' enter  # No, the default button
wait "$app" || true
echo "== after (No to the restart)"
state
kill "$holder" 2>/dev/null || true
wait "$holder" 2>/dev/null || true
wine wineboot -r >/dev/null 2>&1  # what a restart does: the deletions left for it
echo "== after the restart"
state
show_log

echo "== again, with a service that will not stop: the failure box with its code"
wine "$build/tools/demo/seedagent.exe" unseed "$agent_dir"
wine "$build/tools/demo/seedagent.exe" seed "$agent_dir" 2.000.08 "$contract" refuse
start
at=$(driver box "$title" | rect)
sleep 0.3; shot 8-result-failed "$at" result-failed
driver key "$title" enter
wait "$app" || true
echo "== after"
state
show_log
wine "$build/tools/demo/seedagent.exe" unseed "$agent_dir"
echo "== screenshots in $shots, the README's in $docs"
