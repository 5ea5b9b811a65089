#!/usr/bin/env bash
# The package as a shop that is not us meets it: a clean Debian 12 root (debootstrap,
# minbase) installs the .deb from BUILD with apt, so every Depends must come from the
# archive; a normal user in dialout runs ncferry-cli there and sends to a pseudo-terminal,
# the same user outside dialout is refused with the group named; the package then removes
# and purges without leftovers.
#   packaging/test-clean-root.sh [BUILD] [ROOT]
# ROOT, when given, keeps the Debian root between runs (a second run skips debootstrap);
# without it a scratch root is made and deleted. Needs root and Debian's archive.
set -euo pipefail
build=${1:-build}
keep=${2:-}
suite=bookworm
mirror=http://deb.debian.org/debian
deb=$(ls -t "$build"/ncferry_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { echo "no package in $build (make package)"; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "test-clean-root.sh makes a chroot: run it as root (sudo)"; exit 1; }

failures=0
pass() { echo "PASS: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Checks after a failed step would only repeat it: stop there, still unmounting.
fatal() { fail "$*"; exit 1; }
started=$(date +%s)
step() { echo "== $* ($(($(date +%s) - started)) s)"; }

if [ -n "$keep" ]; then
  root=$(realpath -m "$keep")
else
  scratch=$(mktemp -d /var/tmp/ncferry-clean-root.XXXXXX)
  root=$scratch/root
fi
mounted=()
cleanup() {
  local status=$? m
  # A reader or pty pair left by a failed check would hold the mounts busy.
  for pid in ${socat_pid:-} ${reader_pid:-}; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    m=${mounted[i]}
    umount "$m" 2>/dev/null || umount -l "$m" || echo "cannot unmount $m"
  done
  # Never delete through a mount still standing: it could be the host's /dev or /proc.
  if [ -n "${scratch:-}" ]; then
    if findmnt -R -n -o TARGET --target "$scratch" | grep -q "^$scratch"; then
      echo "left $scratch: something is still mounted in it"
    else
      rm -rf --one-file-system "$scratch"
    fi
  fi
  echo "total $(($(date +%s) - started)) s"
  if [ $status -eq 0 ] && [ $failures -gt 0 ]; then status=1; fi
  [ $status -eq 0 ] && echo "clean root: all checks passed" || echo "clean root: $failures check(s) failed"
  exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }

# --- The Debian root: made once, kept when ROOT is given ----------------------------------
if ! command -v debootstrap >/dev/null; then
  step "installing debootstrap"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null
fi
stamp=$root/.ncferry-clean-root
if [ -f "$stamp" ]; then
  step "reusing the $suite root in $root"
else
  # Made beside its place and moved there whole, so an interrupted debootstrap never leaves a
  # half root that a later run would take for a made one.
  partial=$root.partial
  if [ -e "$partial" ]; then
    findmnt -R -n -o TARGET | grep -q "^$partial" && fatal "$partial has mounts: unmount them first"
    rm -rf --one-file-system "$partial"
  fi
  [ ! -e "$root" ] || [ -z "$(ls -A "$root")" ] || fatal "$root is not empty and not a root made here"
  step "debootstrap --variant=minbase $suite into $root"
  t0=$(date +%s)
  debootstrap --variant=minbase "$suite" "$partial" "$mirror" >"$partial.log" 2>&1 \
    || { tail -20 "$partial.log"; fatal "debootstrap (log: $partial.log)"; }
  rm -f "$partial.log"
  rmdir "$root" 2>/dev/null || true
  mv "$partial" "$root"
  date -u >"$stamp"
  pass "debootstrap $suite minbase in $(($(date +%s) - t0)) s"
fi
# apt inside needs to resolve the archive; services must not start in a chroot.
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"

# /proc: Qt finds its program (and so the language packs) through /proc/self/exe. A devpts
# of the root's own, so the pseudo-terminals made inside are not the host's; /dev/ptmx then
# opens that instance.
mount -t proc proc "$root/proc"
mounted+=("$root/proc")
mkdir -p "$root/dev/pts"
mount -t devpts -o newinstance,ptmxmode=0666,mode=0620,gid=5 devpts "$root/dev/pts"
mounted+=("$root/dev/pts")
[ -e "$root/dev/ptmx" ] || touch "$root/dev/ptmx"
mount --bind "$root/dev/pts/ptmx" "$root/dev/ptmx"
mounted+=("$root/dev/ptmx")
[ -c "$root/dev/null" ] || fatal "the root has no /dev/null (debootstrap could not make device nodes)"

# --- Install from the archive -------------------------------------------------------------
# A package, or libraries it pulled in, left by an earlier run would hide a missing
# dependency: start without them (their .debs stay in apt's cache, so a rerun is quick).
if in_root dpkg-query -W -f='${Status}' ncferry 2>/dev/null | grep -q installed; then
  in_root dpkg --purge ncferry >/dev/null
fi
in_root env DEBIAN_FRONTEND=noninteractive apt-get autoremove -y -qq --purge >/dev/null 2>&1 || true
step "apt-get install ./$(basename "$deb")"
cp "$deb" "$root/tmp/"
t0=$(date +%s)
in_root apt-get update -qq >"$root/tmp/apt.log" 2>&1 || { cat "$root/tmp/apt.log"; fatal "apt-get update"; }
if in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
  "/tmp/$(basename "$deb")" >"$root/tmp/apt.log" 2>&1; then
  pass "apt-get install ./$(basename "$deb") with its dependencies from the archive in $(($(date +%s) - t0)) s ($(grep -c '^Setting up' "$root/tmp/apt.log") packages set up)"
else
  tail -30 "$root/tmp/apt.log"
  fatal "apt-get install ./$(basename "$deb")"
fi
# Loadable as installed: a library the Depends missed shows here, not in the send.
missing=$(in_root ldd /usr/bin/ncferry /usr/bin/ncferry-cli /usr/bin/ncferry-sim | grep 'not found' || true)
[ -z "$missing" ] && pass "every library of the three programs is installed" || fail "libraries not found: $missing"
# Tools of the checks below, not of the package: socat for the pty pair, logrotate for the
# package's rotation file. Neither brings systemd, so the root stays one without it.
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends socat logrotate \
  >"$root/tmp/apt.log" 2>&1 || { cat "$root/tmp/apt.log"; fatal "apt-get install socat logrotate"; }

# The service's user exists with or without systemd: the log rotation names it everywhere,
# and logrotate fails its whole daily run for a user that does not exist.
step "the service user and its log rotation (systemd: $(in_root sh -c 'command -v systemd-sysusers || echo none'))"
if service_user=$(in_root getent passwd ncferry); then
  pass "service user: $service_user"
else
  fail "no user ncferry after the install, though /etc/logrotate.d/ncferry names it"
fi
# A log as the service leaves it (LogsDirectory= makes the folder the user's), rotated by force.
in_root install -d -o ncferry -g ncferry /var/log/ncferry 2>/dev/null || mkdir -p "$root/var/log/ncferry"
echo "$(date -u '+%F %T') auto mode started" >"$root/var/log/ncferry/LATHE1.txt"
in_root chown ncferry:ncferry /var/log/ncferry/LATHE1.txt 2>/dev/null || true
set +e
rotation=$(in_root logrotate --force --state /tmp/logrotate.state /etc/logrotate.d/ncferry 2>&1)
status=$?
set -e
if [ $status -eq 0 ] && [ -z "$rotation" ] && [ -f "$root/var/log/ncferry/LATHE1.txt.1" ] \
  && [ ! -e "$root/var/log/ncferry/LATHE1.txt" ]; then
  pass "logrotate /etc/logrotate.d/ncferry: status 0, LATHE1.txt rotated to LATHE1.txt.1"
else
  fail "logrotate /etc/logrotate.d/ncferry: status $status: $rotation; $(ls "$root/var/log/ncferry" | tr '\n' ' ')"
fi

# --- A normal user ------------------------------------------------------------------------
user=machinist
in_root id "$user" >/dev/null 2>&1 || in_root useradd -m -s /bin/bash "$user"
in_root gpasswd -a "$user" dialout >/dev/null
in_root id -nG "$user" | grep -qw dialout || fatal "$user is not in dialout"
# As a login would make it: the user's groups, home and a clean environment.
as_user() { chroot "$root" runuser -l "$user" -c "$*"; }
home=/home/$user

step "ncferry-cli as $user ($(in_root id "$user"))"
version=$(as_user 'ncferry-cli --version' 2>&1) && [ "$version" = "ncferry-cli $(dpkg-deb -f "$deb" Version)" ] \
  && pass "ncferry-cli --version: $version" || fail "ncferry-cli --version: $version"
set +e
help=$(as_user 'ncferry-cli --help' 2>&1)
status=$?
set -e
if [ $status -eq 0 ] && grep -q 'ncferry-cli send --port-setting' <<<"$help" && grep -q 'man ncferry-cli' <<<"$help"; then
  pass "ncferry-cli --help: status 0, usage and the manual page named"
else
  fail "ncferry-cli --help: status $status: $help"
fi
as_user 'man -w ncferry-cli' >/dev/null 2>&1 || [ -f "$root/usr/share/man/man1/ncferry-cli.1.gz" ] \
  || fail "no manual page ncferry-cli(1) installed"

# A pseudo-terminal pair: the PC end is the "serial device" the CLI opens, root:dialout
# 0660 as a USB adapter's node is; the machine end is read back.
rm -f "$root/tmp/pc" "$root/tmp/machine"
chroot "$root" socat pty,raw,echo=0,link=/tmp/pc pty,raw,echo=0,link=/tmp/machine 2>"$root/tmp/socat.log" &
socat_pid=$!
for _ in $(seq 1 50); do [ -L "$root/tmp/pc" ] && [ -L "$root/tmp/machine" ] && break; sleep 0.1; done
[ -L "$root/tmp/pc" ] || fatal "socat made no pty pair: $(cat "$root/tmp/socat.log")"
pc=$(readlink "$root/tmp/pc")
in_root chgrp dialout "$pc"
in_root chmod 660 "$pc"
echo "pty pair: $pc ($(in_root stat -c '%U:%G %a' "$pc")) <-> $(readlink "$root/tmp/machine")"

# The program as a file of the user's; what follows the second "%" is never sent.
printf '%%\nO1000\nG0X1.Y2.\nM30\n%%\nAFTER THE END\n' >"$root$home/O1000.nc"
in_root chown "$user:" "$home/O1000.nc"
record="Mill,$pc,9600,None,8,1,None,$home,*.nc,None"
send="ncferry-cli send --port-setting '$record' $home/O1000.nc"
# On the wire: DC2, the program with its program letter O sent as ':', up to and with the
# second '%', then DC4.
expected=$'\022%\n:1000\nG0X1.Y2.\nM30\n%\024'
chroot "$root" timeout 30 cat /tmp/machine >"$root/tmp/received" &
reader_pid=$!
t0=$(date +%s%N)
set +e
as_user "$send" >"$root/tmp/send.out" 2>&1
status=$?
set -e
elapsed_ms=$((($(date +%s%N) - t0) / 1000000))
# The CLI returns once the line has carried the last byte; give socat a moment to pass it on.
for _ in $(seq 1 20); do [ "$(stat -c %s "$root/tmp/received")" -ge ${#expected} ] && break; sleep 0.1; done
sleep 0.3
kill "$reader_pid" 2>/dev/null || true
wait "$reader_pid" 2>/dev/null || true
reader_pid=
if [ $status -eq 0 ] && printf '%s' "$expected" | cmp -s - "$root/tmp/received"; then
  pass "send as $user in dialout: status 0, the machine end got DC2 … DC4, $(stat -c %s "$root/tmp/received") bytes as expected (${elapsed_ms} ms)"
else
  fail "send as $user in dialout: status $status: $(cat "$root/tmp/send.out"); received: $(od -An -c "$root/tmp/received" | tr -s ' ' | head -5)"
fi
# The same send made on this host by the build's own CLI puts the same bytes on its wire.
if [ -x "$build/bin/ncferry-cli" ] && command -v socat >/dev/null; then
  host=$(mktemp -d)
  socat pty,raw,echo=0,link="$host/pc" pty,raw,echo=0,link="$host/machine" 2>/dev/null &
  host_socat=$!
  for _ in $(seq 1 50); do [ -L "$host/pc" ] && [ -L "$host/machine" ] && break; sleep 0.1; done
  timeout 30 cat "$host/machine" >"$host/received" &
  host_reader=$!
  cp "$root$home/O1000.nc" "$host/"
  host_status=0
  QT_QPA_PLATFORM=offscreen "$build/bin/ncferry-cli" send \
    --port-setting "Mill,$(readlink "$host/pc"),9600,None,8,1,None,$host,*.nc,None" "$host/O1000.nc" \
    >/dev/null 2>&1 || host_status=$?
  for _ in $(seq 1 20); do [ "$(stat -c %s "$host/received")" -ge ${#expected} ] && break; sleep 0.1; done
  sleep 0.3
  kill "$host_reader" "$host_socat" 2>/dev/null || true
  wait "$host_reader" "$host_socat" 2>/dev/null || true
  if [ $host_status -eq 0 ] && cmp -s "$host/received" "$root/tmp/received"; then
    pass "the host build's send put the same $(stat -c %s "$host/received") bytes on its wire"
  else
    fail "host build's send: status $host_status, $(od -An -c "$host/received" | tr -s ' ' | head -5)"
  fi
  rm -rf "$host"
fi

# The same user without dialout: refused with the group named, status 2, no transfer.
in_root gpasswd -d "$user" dialout >/dev/null
set +e
as_user "$send" >"$root/tmp/send.out" 2>&1
status=$?
set -e
refusal=$(cat "$root/tmp/send.out")
if [ $status -eq 2 ] && grep -q 'members of the group "dialout" may use it' <<<"$refusal" \
  && grep -q 'sudo usermod -aG dialout \$USER' <<<"$refusal"; then
  pass "send as $user outside dialout: status 2: $(tr '\n' ' ' <<<"$refusal")"
else
  fail "send as $user outside dialout: status $status: $refusal"
fi
in_root gpasswd -a "$user" dialout >/dev/null
kill "$socat_pid" 2>/dev/null || true
wait "$socat_pid" 2>/dev/null || true
socat_pid=

# --- Remove, then purge -------------------------------------------------------------------
step "dpkg -r / --purge ncferry"
files=$(in_root dpkg-query -L ncferry)
if in_root dpkg -r ncferry >"$root/tmp/dpkg.log" 2>&1; then
  left=$(for f in $files; do [ -f "$root$f" ] && [ "$f" != /etc/logrotate.d/ncferry ] && echo "$f"; done || true)
  [ -z "$left" ] && pass "dpkg -r ncferry: the programs and their files are gone, the conffile kept" \
    || fail "dpkg -r ncferry left: $left"
else
  fail "dpkg -r ncferry: $(cat "$root/tmp/dpkg.log")"
fi
if in_root dpkg --purge ncferry >"$root/tmp/dpkg.log" 2>&1; then
  left=$(for f in $files; do [ -e "$root$f" ] && [ ! -d "$root$f" ] && echo "$f"; done || true)
  state=$(in_root dpkg-query -W -f='${db:Status-Abbrev}' ncferry 2>/dev/null || true)
  # Debian wants a package's log files gone with a purge.
  [ ! -e "$root/var/log/ncferry" ] || left="$left /var/log/ncferry: $(ls -A "$root/var/log/ncferry" | tr '\n' ' ')"
  if [ -z "$left" ] && { [ -z "$state" ] || [ "${state:0:2}" = "pn" ]; }; then
    pass "dpkg --purge ncferry: nothing of the package is left, its logs neither${state:+ (state ${state% })}"
  else
    fail "dpkg --purge ncferry: state '$state', left: $left"
  fi
else
  fail "dpkg --purge ncferry: $(cat "$root/tmp/dpkg.log")"
fi
# What the package pulled in goes too (apt marked it automatic), so the next run installs
# into minbase again.
if in_root env DEBIAN_FRONTEND=noninteractive apt-get autoremove -y --purge >"$root/tmp/apt.log" 2>&1; then
  pass "apt-get autoremove: $(grep -c '^Removing' "$root/tmp/apt.log") packages the install pulled in removed again"
else
  fail "apt-get autoremove: $(tail -5 "$root/tmp/apt.log")"
fi
rm -f "$root/tmp/$(basename "$deb")"
