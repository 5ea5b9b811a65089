#!/usr/bin/env bash
# Checks the Debian package built in BUILD (default: build): lintian finds nothing to say,
# the AppStream data validates, the service unit verifies and rates below 5 in systemd's
# security check; unpacked with dpkg -x into a scratch tree, it holds what it should and
# depends on what it needs; ncferry-cli from the tree sends to a pseudo-terminal as a user
# in the device's group and is refused, with the group named, for a user who is not; and
# ncferry starts offscreen from a fresh home, closes as a logout would and keeps its settings
# and notes in that home's XDG folders, not beside the program.
set -euo pipefail
build=${1:-build}
deb=$(ls -t "$build"/ncferry_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { echo "no package in $build (make package)"; exit 1; }
scratch=$(mktemp -d)
trap 'if [ -n "${pty_pid:-}" ]; then kill "$pty_pid" 2>/dev/null || true; fi; rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Debian's policy checks: no error, no warning (lintian prints nothing then). Run as a user
# that is not root when we are root, as lintian advises.
echo "== lintian $(basename "$deb")"
lint=(lintian --fail-on error,warning --display-level ">=warning" "$deb")
if [ "$(id -u)" -eq 0 ]; then
  chmod 755 "$scratch"; mkdir -m 777 "$scratch/lintian"
  cp "$deb" "$scratch/lintian/"; chmod 644 "$scratch/lintian/$(basename "$deb")"
  lint=(setpriv --reuid=nobody --regid=nogroup --clear-groups
        env HOME="$scratch/lintian" TMPDIR="$scratch/lintian"
        lintian --fail-on error,warning --display-level ">=warning" "$scratch/lintian/$(basename "$deb")")
fi
lintout=$("${lint[@]}" 2>&1) || { echo "$lintout"; fail "lintian"; }
echo "${lintout:-lintian: nothing to report}"

dpkg -x "$deb" "$scratch/root"
root=$scratch/root
chmod 755 "$scratch" "$root"
for f in usr/bin/ncferry usr/bin/ncferry-cli usr/bin/ncferry-sim usr/share/ncferry/language/English.ini \
         usr/share/ncferry/language/繁體中文.ini usr/share/ncferry/language/简体中文.ini \
         usr/share/applications/ncferry.desktop usr/share/icons/hicolor/scalable/apps/ncferry.svg \
         usr/share/icons/hicolor/48x48/apps/ncferry.png usr/share/icons/hicolor/256x256/apps/ncferry.png \
         usr/share/metainfo/io.github.ncferry.NCFerry.metainfo.xml \
         usr/share/man/man1/ncferry.1.gz usr/share/man/man1/ncferry-cli.1.gz \
         usr/share/man/man1/ncferry-sim.1.gz usr/share/doc/ncferry/copyright \
         usr/share/doc/ncferry/changelog.gz usr/share/doc/ncferry/guide.md \
         lib/systemd/system/ncferry-auto@.service usr/lib/sysusers.d/ncferry.conf \
         etc/logrotate.d/ncferry; do
  [ -f "$root/$f" ] || fail "$f missing from the package"
done
grep -qx 'Icon=ncferry' "$root/usr/share/applications/ncferry.desktop" || fail "desktop entry has no icon"
grep -qx 'Exec=ncferry' "$root/usr/share/applications/ncferry.desktop" || fail "desktop entry runs no ncferry"
for page in ncferry ncferry-cli ncferry-sim; do
  zcat "$root/usr/share/man/man1/$page.1.gz" | grep -q '^\.SH EXIT STATUS' || fail "man page $page unreadable"
done
for size in 48 64 128 256; do
  file "$root/usr/share/icons/hicolor/${size}x$size/apps/ncferry.png" | grep -q "$size x $size" \
    || fail "icon $size: $(file "$root/usr/share/icons/hicolor/${size}x$size/apps/ncferry.png")"
done
appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.ncferry.NCFerry.metainfo.xml" \
  || fail "AppStream data"
grep -q "<release version=\"$(dpkg-deb -f "$deb" Version)\"" \
  "$root/usr/share/metainfo/io.github.ncferry.NCFerry.metainfo.xml" || fail "AppStream release is not the package's"
depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6core6 libqt6widgets6 libqt6serialport6 libqt6sql6-sqlite libqt6svg6; do
  echo "$depends" | grep -q "\b$p\b" || fail "Depends lacks $p: $depends"
done
dpkg-deb -f "$deb" Suggests | grep -q fonts-noto-cjk || fail "no Suggests: fonts-noto-cjk"
# The guide's pictures beside it.
for picture in $(grep -o 'screenshots/[^)]*\.png' "$root/usr/share/doc/ncferry/guide.md"); do
  [ -f "$root/usr/share/doc/ncferry/$picture" ] || fail "the guide's $picture is missing"
done
# Nothing of the build tree may be inside: no tests, no build paths.
unexpected=$(find "$root" -type f ! -path '*/doc/ncferry/screenshots/*' | wc -l)
[ "$unexpected" -le 24 ] || fail "unexpected files: $(find "$root" -type f)"

# The service unit as installed: systemd accepts it and rates its exposure below 5.
"$(dirname "$0")/../tests/packaging/service_unit.sh" "$root/lib/systemd/system/ncferry-auto@.service" \
  "$root/usr/bin/ncferry-cli" "$root/usr/share/man/man1/ncferry-cli.1.gz" || fail "service unit"
unit=$root/lib/systemd/system/ncferry-auto@.service
grep -q '^RestartPreventExitStatus=1$' "$unit" || fail "a bad configuration would be restarted"

# A normal user and the serial port: a pseudo-terminal pair whose machine side belongs to
# root:dialout, as a USB adapter's node does. A user in dialout sends; one who is not is
# refused with status 2 and told the group and the command.
pty_pid=
if [ "$(id -u)" -eq 0 ] && getent group dialout >/dev/null; then
  socat pty,raw,echo=0,link="$scratch/pc" pty,raw,echo=0,link="$scratch/machine" &
  pty_pid=$!
  for _ in $(seq 1 50); do [ -e "$scratch/pc" ] && [ -e "$scratch/machine" ] && break; sleep 0.1; done
  pc=$(readlink -f "$scratch/pc")
  chown root:dialout "$pc"; chmod 660 "$pc"
  # A root process killed earlier on this machine may have left a lock file for this pty
  # number; the unprivileged user could not remove it from the sticky lock folder.
  lock=LCK..$(echo "${pc#/dev/}" | tr / _)
  for folder in /var/lock /run/lock; do
    holder=$(head -n 1 "$folder/$lock" 2>/dev/null) || continue
    kill -0 "$holder" 2>/dev/null || rm -f "$folder/$lock"
  done
  mkdir -m 777 "$scratch/user"
  printf '%%\nO1000\nG0X1.\nM30\n%%\n' >"$scratch/user/O1000.nc"
  record="Mill,$pc,9600,None,8,1,None,$scratch/user,*.nc,None"
  as_user() {
    setpriv --reuid=nobody --regid=nogroup "$@" env -i PATH=/usr/bin:/bin HOME="$scratch/user" \
      "$root/usr/bin/ncferry-cli" send --port-setting "$record" "$scratch/user/O1000.nc"
  }
  expected=$'\022%\n:1000\nG0X1.\nM30\n%\024'
  timeout 5 head -c ${#expected} "$scratch/machine" >"$scratch/received" &
  reader=$!
  as_user --groups=dialout 2>"$scratch/cli.err" || fail "send as a user in dialout: $(cat "$scratch/cli.err")"
  wait $reader || true
  printf '%s' "$expected" | cmp -s - "$scratch/received" \
    || fail "the machine got $(od -c "$scratch/received" | head -5)"
  set +e
  as_user --clear-groups 2>"$scratch/cli.err"; status=$?
  set -e
  [ $status -eq 2 ] || fail "send without dialout: status $status"
  grep -q 'members of the group "dialout" may use it' "$scratch/cli.err" \
    && grep -q 'sudo usermod -aG dialout \$USER' "$scratch/cli.err" || fail "no dialout advice: $(cat "$scratch/cli.err")"
  echo "ncferry-cli as a user in dialout sent to $pc; without it: $(cat "$scratch/cli.err")"
  kill $pty_pid 2>/dev/null || true
fi

# The command-line tool: usage and status 1 without a command.
set +e
usage=$("$root/usr/bin/ncferry-cli" 2>&1); status=$?
set -e
[ $status -eq 1 ] || fail "ncferry-cli without a command: status $status"
echo "$usage" | grep -q 'ncferry-cli send --port-setting' || fail "ncferry-cli usage: $usage"
# --version names the packaged version, on stdout with status 0.
version=$("$root/usr/bin/ncferry-cli" --version) || fail "ncferry-cli --version: status $?"
[ "$version" = "ncferry-cli $(dpkg-deb -f "$deb" Version)" ] || fail "ncferry-cli --version: $version"
# The windowed program answers --help and --version without a display.
version=$(env -i PATH=/usr/bin:/bin "$root/usr/bin/ncferry" --version) || fail "ncferry --version: status $?"
[ "$version" = "ncferry $(dpkg-deb -f "$deb" Version)" ] || fail "ncferry --version: $version"
env -i PATH=/usr/bin:/bin "$root/usr/bin/ncferry" --help | grep -q 'ncferry-cli(1)' || fail "ncferry --help"

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
