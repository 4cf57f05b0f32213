#!/usr/bin/env bash
# Tries, as a second local account, to read an embedded server instance made by this one: the
# folder listing, the catalog (the password's hash, the databases' paths), the sessions, and
# msu-server's own commands. Every try must fail. Needs root (it adds and removes the account
# "orvaneprobe"); run it on a scratch machine or container:
#   sudo scripts/instance-privacy.sh [STAGE]      (STAGE: build/dev/stage by default)
set -uo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
stage="${1:-$here/build/dev/stage}"
probe="orvaneprobe"
if [[ $(id -u) -ne 0 ]]; then
  echo "Run as root: the script adds and removes the account $probe." >&2
  exit 2
fi
work="$(mktemp -d)"
chmod 0755 "$work"  # the others may walk to the instances' root, as to a home folder
useradd --no-create-home --shell /usr/sbin/nologin "$probe" || exit 2
trap 'userdel "$probe" 2>/dev/null; rm -rf "$work"' EXIT
cp "$stage/msu-server" "$work/" && chmod 0755 "$work/msu-server"

umask 022
root="$work/servers"
mkdir -m 0755 "$root"  # a root others may list: the instance itself must keep them out
printf 'secret\n' >"$work/warden"
chmod 0600 "$work/warden"
"$stage/msu-server" --root "$root" create ORVANE --password-file "$work/warden" >/dev/null
"$stage/msu-server" --root "$root" sample --out "$work/data" --rows 50 --attach ORVANE \
  --password-file "$work/warden" >/dev/null
ls -la "$root" "$root/ORVANE"

failures=0
if ! runuser -u "$probe" -- ls "$root" >/dev/null 2>&1; then
  echo "The second account cannot even list $root; the test would prove nothing." >&2
  exit 2
fi
as_probe() {
  local what="$1"
  shift
  if runuser -u "$probe" -- "$@" >/dev/null 2>&1; then
    echo "READABLE: $what"
    failures=$((failures + 1))
  else
    echo "refused:  $what"
  fi
}
as_probe "list the instance folder" ls "$root/ORVANE"
as_probe "read the catalog" cat "$root/ORVANE/catalog.db"
as_probe "list the sessions" ls "$root/ORVANE/sessions"
as_probe "msu-server status" "$work/msu-server" --root "$root" status ORVANE
as_probe "msu-server databases" "$work/msu-server" --root "$root" databases ORVANE
as_probe "msu-server sql" "$work/msu-server" --root "$root" sql ORVANE Fire1 \
  "SELECT * FROM L_Kind" --password-file /dev/null
if [[ $failures -eq 0 ]]; then
  echo "The second account read nothing of the instance."
else
  echo "$failures tries succeeded." >&2
  exit 1
fi
