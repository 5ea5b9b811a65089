#!/usr/bin/env bash
# The auto-mode service unit as systemd reads it: `systemd-analyze verify` accepts it (with
# this build's ncferry-cli in the place of /usr/bin/ncferry-cli and this build's manual
# page), and `systemd-analyze security` rates it below 5. Skipped (77) without systemd.
set -euo pipefail
unit_source=$1 cli=$2 manpage=$3
command -v systemd-analyze >/dev/null || { echo "systemd-analyze not installed: skipped"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/man/man1"
cp "$manpage" "$scratch/man/man1/"
unit=$scratch/ncferry-auto@.service
sed "s|/usr/bin/ncferry-cli|$cli|" "$unit_source" >"$unit"
MANPATH=$scratch/man systemd-analyze verify "$unit"
rating=$(systemd-analyze security --offline=true "$unit" 2>&1)
exposure=$(echo "$rating" | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
[ -n "$exposure" ] || { echo "$rating" | tail -5; echo "FAIL: no rating"; exit 1; }
echo "verified; exposure $exposure"
awk -v e="$exposure" 'BEGIN { exit !(e < 5) }' || { echo "$rating" | grep '✗'; echo "FAIL: exposure $exposure"; exit 1; }
