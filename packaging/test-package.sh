#!/usr/bin/env bash
# Checks the Debian package built in BUILD (default: build): unpacks it with dpkg -x into a
# scratch tree, checks what it holds and what it depends on, runs ncferry-cli from the tree
# and starts the installed ncferry offscreen from a fresh home, then closes it as a logout
# would and checks that its settings and notes went to that home's XDG folders, not beside
# the program.
set -euo pipefail
build=${1:-build}
deb=$(ls -t "$build"/ncferry_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { echo "no package in $build (make package)"; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

dpkg -x "$deb" "$scratch/root"
root=$scratch/root
for f in usr/bin/ncferry usr/bin/ncferry-cli usr/share/ncferry/language/English.ini \
         usr/share/ncferry/language/繁體中文.ini usr/share/ncferry/language/简体中文.ini \
         usr/share/applications/ncferry.desktop usr/share/icons/hicolor/scalable/apps/ncferry.svg \
         usr/share/man/man1/ncferry-cli.1.gz usr/share/doc/ncferry/examples/ncferry-auto@.service; do
  [ -f "$root/$f" ] || fail "$f missing from the package"
done
grep -qx 'Icon=ncferry' "$root/usr/share/applications/ncferry.desktop" || fail "desktop entry has no icon"
grep -qx 'Exec=ncferry' "$root/usr/share/applications/ncferry.desktop" || fail "desktop entry runs no ncferry"
zcat "$root/usr/share/man/man1/ncferry-cli.1.gz" | grep -q '^\.SH EXIT STATUS' || fail "man page unreadable"
depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6core6 libqt6widgets6 libqt6serialport6 libqt6sql6-sqlite libqt6svg6; do
  echo "$depends" | grep -q "\b$p\b" || fail "Depends lacks $p: $depends"
done
# Nothing of the build tree may be inside: no tests, no build paths.
[ "$(find "$root" -type f | wc -l)" -le 12 ] || fail "unexpected files: $(find "$root" -type f)"

# The command-line tool: usage and status 1 without a command.
set +e
usage=$("$root/usr/bin/ncferry-cli" 2>&1); status=$?
set -e
[ $status -eq 1 ] || fail "ncferry-cli without a command: status $status"
echo "$usage" | grep -q 'ncferry-cli send --port-setting' || fail "ncferry-cli usage: $usage"
# --version names the packaged version, on stdout with status 0.
version=$("$root/usr/bin/ncferry-cli" --version) || fail "ncferry-cli --version: status $?"
[ "$version" = "ncferry-cli $(dpkg-deb -f "$deb" Version)" ] || fail "ncferry-cli --version: $version"

# The program, from a fresh home, with the user's folders left to their XDG defaults; once in
# English and once in Chinese (a pack whose file name is not ASCII).
start_and_close() {
  local language=$1 home=$scratch/home-$1
  mkdir -p "$home"
  env -i PATH=/usr/bin:/bin HOME="$home" QT_QPA_PLATFORM=offscreen LANG="$language" \
    "$root/usr/bin/ncferry" >"$scratch/ncferry.log" 2>&1 &
  local pid=$!
  # Running when its notes database exists; the first start creates it.
  for _ in $(seq 1 100); do
    [ -f "$home/.local/share/NCFerry/access.mdb" ] && break
    kill -0 $pid 2>/dev/null || { cat "$scratch/ncferry.log"; fail "ncferry ended at start"; }
    sleep 0.1
  done
  [ -f "$home/.local/share/NCFerry/access.mdb" ] || { kill $pid; fail "no access.mdb under $home/.local/share/NCFerry"; }
  kill -TERM $pid
  for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  if kill -0 $pid 2>/dev/null; then kill -KILL $pid; fail "ncferry did not close on SIGTERM"; fi
  wait $pid || fail "ncferry exited with status $?: $(cat "$scratch/ncferry.log")"
  # A start-up problem (a language pack not found, an unusable settings file) is on stderr.
  if grep '^ncferry: ' "$scratch/ncferry.log"; then fail "ncferry reported a problem at start ($language)"; fi
  option=$home/.config/NCFerry/Option.ini
  [ -f "$option" ] || fail "no Option.ini under $home/.config/NCFerry"
  grep -q '\[WindowsSize\]' "$option" || fail "Option.ini incomplete"
}
start_and_close C.UTF-8
start_and_close zh_TW.UTF-8
grep -q '^Language=繁體中文' "$option" || fail "the Chinese start did not keep its language: $option"
stray=$(find "$root" -name Option.ini -o -name access.mdb -o -name log)
[ -z "$stray" ] || fail "written beside the program: $stray"
echo "package ok: $(basename "$deb"), $(stat -c %s "$deb") bytes; settings in $option"
