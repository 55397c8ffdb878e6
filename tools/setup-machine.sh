#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on a Debian 12 machine,
# and says in one line whether this host executes 32-bit x86 code (host-arch).
# Idempotent: when everything is present it only checks and returns (well under
# a second). Beyond packages and the locale it changes one thing, and only on
# hosts without 32-bit execution: it registers qemu-i386 with binfmt_misc, so
# that the shipped 32-bit HD.EXE can still run there, emulated.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "$(id -u)" != 0 ]; then SUDO=sudo; else SUDO=; fi

packages=(
  cmake make
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  googletest
  wine wine32:i386 wine64 fonts-wine
  xvfb xauth x11-utils imagemagick
  locales python3
  liblnk-utils libimage-exiftool-perl icoutils
  xorriso
  openssl osslsigncode
  python3-fusepy dosfstools fusefat
)
native=1
[ "$(HD_TEST_X64= "$here/host-arch")" = i686 ] || native=0

# One query for all: native packages come back bare (or as name:amd64),
# foreign ones as name:i386, as they are listed above.
declare -A present=()
while read -r name status; do
  [ "$status" = installed ] && present[${name%:amd64}]=1
done < <(dpkg-query -W -f='${binary:Package} ${db:Status-Status}\n' "${packages[@]}" 2>/dev/null)
missing=()
for p in "${packages[@]}"; do
  [ -n "${present[$p]:-}" ] || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  # A mirror caught mid-sync serves a list that does not match its Release
  # (seen for days: the security archive's i386 list). apt then keeps the old
  # list, or none, for that archive, while the amd64 twins of the multi-arch
  # libraries are candidates at its newer versions; the two must match, and
  # the install stops at "held broken packages". Preferring the release's own
  # lists (-t CODENAME) resolves them, at the release's versions.
  apt=($SUDO apt-get -o Acquire::Retries=3)
  complete=1
  "${apt[@]}" update -qq --error-on=any || complete=0
  install=("${apt[@]}" install -y -qq --no-install-recommends)
  if ! "${install[@]}" "${missing[@]}" >/dev/null; then
    [ $complete = 0 ] || exit 1
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    echo "setup: some package lists could not be fetched (a mirror in mid-sync, or out of reach); installing with $codename's own lists preferred"
    "${install[@]}" -t "$codename" "${missing[@]}" >/dev/null
  fi
fi

# Where the kernel runs no 32-bit code, 32-bit programs run under qemu-i386.
# The release's qemu (7.2) crashes 32-bit Wine as soon as a program starts a
# second thread, which HD.EXE does for every install; the release's
# backports hold one that runs it (10.0). Their lists come from the site
# that serves the release itself.
upgraded_qemu=0
if [ $native = 0 ]; then
  qemu=$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null || true)
  if [ -z "$qemu" ] || dpkg --compare-versions "$qemu" lt 1:8; then
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    list=/etc/apt/sources.list.d/$codename-backports.sources
    if [ ! -f "$list" ]; then
      site=$(apt-get indextargets --format '$(SITE) $(RELEASE)' | awk -v r="$codename" '$2 == r {print $1; exit}')
      [ -n "$site" ] || { echo "setup: no package site serves $codename, so no $codename-backports" >&2; exit 1; }
      printf 'Types: deb\nURIs: %s\nSuites: %s-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$site" "$codename" | $SUDO tee "$list" >/dev/null
    fi
    echo "setup: installing qemu-user-static from $codename-backports (the release's crashes 32-bit Wine's threads)"
    $SUDO apt-get -o Acquire::Retries=3 update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o Acquire::Retries=3 install -y -qq --no-install-recommends \
      -t "$codename-backports" qemu-user-static >/dev/null
    upgraded_qemu=1
  fi
fi

# Wine takes the ANSI code page from the locale, and the file names' encoding
# from it too: without a locale generated, names outside ASCII cannot be
# created. Russian (1251) for every test, Japanese (932) for the end-to-end
# run on a double-byte code page; C.UTF-8 (1252) is built in.
generate=0
for wanted in ru_RU ja_JP; do
  locale -a 2>/dev/null | grep -qi "^$wanted\.utf-\?8\$" && continue
  $SUDO sed -i "s/^# *\($wanted.UTF-8 UTF-8\)/\1/" /etc/locale.gen
  grep -q "^$wanted.UTF-8 UTF-8" /etc/locale.gen || echo "$wanted.UTF-8 UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
  generate=1
done
[ $generate = 0 ] || $SUDO locale-gen >/dev/null

# Where the kernel runs no 32-bit code, 32-bit programs (Wine's 32-bit loader
# among them) run under qemu-i386 through binfmt_misc. The F flag opens the
# emulator now, so it is found from any mount namespace later; and so an
# emulator replaced since is taken only once registered again.
binfmt=/proc/sys/fs/binfmt_misc
if [ $native = 0 ] && [ $upgraded_qemu = 1 ] && [ -e "$binfmt/qemu-i386" ]; then
  echo -1 | $SUDO tee "$binfmt/qemu-i386" >/dev/null
fi
if [ $native = 0 ] && [ ! -e "$binfmt/qemu-i386" ]; then
  [ -e "$binfmt/register" ] || $SUDO mount -t binfmt_misc binfmt_misc "$binfmt"
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386-static:F" | $SUDO tee "$binfmt/register" >/dev/null
  echo "setup: registered qemu-i386 with binfmt_misc, so 32-bit programs run here under emulation"
fi
"$here/host-arch" --explain >/dev/null
