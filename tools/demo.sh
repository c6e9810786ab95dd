#!/usr/bin/env bash
# make demo: a Wine prefix with a simulated agent installation, then the real
# uninstaller, driven through its windows; a screenshot of each window it shows.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
cd "$(dirname "$0")/.."
root="$build/demo-wine"
shots="$build/demo"
mkdir -p "$shots"; rm -f "$shots"/*.png

# On the operator's display when there is one, else on Xvfb.
if [ -n "${DISPLAY:-}" ]; then export WINE_BENCH_KEEP_DISPLAY=1; fi
source <(tools/wine-bench.sh "$root" env win64)

title='エージェント端末アンインストーラー'
contract='AB12CD34'
exe_dir='C:\Tools'
agent_dir='C:\Program Files\Corvane'
export TESTSVC_EXE="Z:$(echo "$build/tests/ops/ops_testsvc.exe" | tr / '\\')"
driver() { wine "$build/tools/demo/uidriver.exe" "$@" | iconv -f CP932 -t UTF-8 | tr -d '\r'; }
shot() {
  local f="$shots/$1.png"
  import -display "$DISPLAY" -window root "$f" 2>/dev/null && echo "  screenshot: $f"
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

echo "== simulated agent installation: its Windows Installer package, then what the package cannot carry"
msi="Z:$(echo "$build/tests/seedagent/CorvaneAgent.msi" | tr / '\\')"
install_agent() {
  wine "$build/tools/demo/seedagent.exe" unseed "$agent_dir"
  wine msiexec /x "$msi" /qn >/dev/null 2>&1 || true  # the installer's records of an earlier run
  wine msiexec /i "$msi" /qn
  wine "$build/tools/demo/seedagent.exe" extras "$agent_dir"
}
install_agent
echo "== before"
state
mkdir -p "$WINEPREFIX/drive_c/Tools"
rm -rf "$WINEPREFIX/drive_c/Tools/Log"
cp "$build/AgentUninstaller_Win.exe" "$WINEPREFIX/drive_c/Tools/"

echo "== running $exe_dir\\AgentUninstaller_Win.exe"
wine "$exe_dir\\AgentUninstaller_Win.exe" &
app=$!

driver wait "$title"
sleep 0.5; shot 1-contract-dialog
driver settext "$title" 1000 "$contract"
sleep 0.3; shot 2-contract-typed
driver hover "$title" 2
sleep 0.5; shot 3-pointer-over-close
driver press "$title" 2
sleep 0.3; shot 4-close-pressed
driver release "$title" 2
driver click "$title" 1
# The service takes two seconds to stop: the progress dialog stands on its first step.
sleep 1; shot 5-progress

# The result box has the same caption as the dialog it follows.
driver box "$title"
sleep 0.3; shot 6-result
driver key "$title" enter
wait "$app" || true

echo "== after"
state

# The same removal as a deployment tool runs it: no window, the outcome in the exit code and one log line.
echo "== the agent installed again, then a quiet run: $exe_dir\\AgentUninstaller_Win.exe /quiet /contractfile=contract.txt"
install_agent >/dev/null 2>&1
printf '%s\r\n' "$contract" > "$WINEPREFIX/drive_c/Tools/contract.txt"
quiet=$(wine "$build/tools/demo/uidriver.exe" run "$exe_dir\\AgentUninstaller_Win.exe" /quiet /contractfile=contract.txt | tr -d '\r')
echo "  exit code: ${quiet#exit }"
echo "  summary:   $(iconv -f CP932 -t UTF-8 "$WINEPREFIX/drive_c/Tools/Log/AgentUninstaller_Win.exe.log" | tr -d '\r' |
                     grep -v '^$' | tail -n 2 | head -n 1 | cut -f 6)"
state
echo "== log ($exe_dir\\Log\\AgentUninstaller_Win.exe.log)"
iconv -f CP932 -t UTF-8 "$WINEPREFIX/drive_c/Tools/Log/AgentUninstaller_Win.exe.log" 2>/dev/null || echo "  (no log)"
echo "== screenshots in $shots"
