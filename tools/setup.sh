#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (as root).
# Idempotent: a machine that has everything does nothing but checks.
set -euo pipefail

# The archive this machine's apt already takes the release from: the URI of
# the first enabled deb source, one-line (sources.list, *.list) or deb822
# (*.sources), whose suites hold the release's codename. The backports suite
# lives in the same archive, so no host name is written here.
debian_archive_uri() {
  local codename=$1
  {
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
      awk -v s="$codename" '$1 == "deb" {
        i = 2
        if ($i ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ }  # skip [options]
        if ($(i + 1) == s) print $i
      }'
    cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
      awk -v s="$codename" 'BEGIN { RS = "" } {
        types = uris = suites = ""; enabled = 1
        n = split($0, lines, "\n")
        for (j = 1; j <= n; j++) {
          if (lines[j] ~ /^[ \t]*#/ || !index(lines[j], ":")) continue
          key = tolower(substr(lines[j], 1, index(lines[j], ":") - 1))
          value = " " substr(lines[j], index(lines[j], ":") + 1) " "
          if (key == "types") types = value
          else if (key == "uris") uris = value
          else if (key == "suites") suites = value
          else if (key == "enabled" && tolower(value) ~ /[ \t]no[ \t]/) enabled = 0
        }
        if (enabled && types ~ /[ \t]deb[ \t]/ && index(suites, " " s " ")) { split(uris, u, " "); print u[1] }
      }'
  } | head -n 1
}

pkgs=(g++-mingw-w64-i686 mingw-w64-i686-dev wine wine32:i386 wine64 xvfb xauth locales
      fonts-ipafont-gothic fonts-wine wixl imagemagick x11-apps googletest cmake ninja-build make python3)

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "setup: missing packages (${missing[*]}); run as root to install them" >&2
    exit 1
  fi
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Japanese locale, so Wine's ANSI code page is 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  if [ "$(id -u)" = 0 ]; then
    sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null
  else
    echo "setup: locale ja_JP.UTF-8 missing; run as root" >&2; exit 1
  fi
fi

# Some machines run 64-bit user code only (a 32-bit execve gives ENOEXEC),
# which stops Wine's 32-bit loader. There, 32-bit ELF programs run through
# qemu user-mode emulation; qemu 7.2 spends about a minute starting each Wine
# process, so the backported qemu (10.x) is used.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  if [ "$(id -u)" != 0 ]; then echo "setup: 32-bit programs cannot run here; run as root" >&2; exit 1; fi
  if ! ls /usr/bin/qemu-i386 >/dev/null 2>&1 || ! /usr/bin/qemu-i386 --version | grep -qE 'version (9|[1-9][0-9])\.'; then
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    archive=$(debian_archive_uri "$codename")
    if [ -z "$archive" ]; then
      echo "setup: apt has no source for $codename to take $codename-backports from" >&2; exit 1
    fi
    echo "deb $archive $codename-backports main" > "/etc/apt/sources.list.d/$codename-backports.list"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -t "$codename-backports" qemu-user-static >/dev/null
  fi
  [ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  [ -e /proc/sys/fs/binfmt_misc/i386-elf ] && echo -1 > /proc/sys/fs/binfmt_misc/i386-elf
  printf '%s' ':i386-elf:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
    > /proc/sys/fs/binfmt_misc/register
  /usr/lib/wine/wine --version >/dev/null
fi
