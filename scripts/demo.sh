#!/usr/bin/env bash
# Prepares the demo: the embedded server ORVANE with the Warden password "orvane" and the sample
# databases in ~/Orvane/Databases, attached to it. Safe to run again: what exists is kept.
set -euo pipefail

stage="$1"
server="ORVANE"
warden_password="orvane"
databases="${HOME}/Orvane/Databases"
msu_server="${stage}/msu-server"

password_file="$(mktemp)"
trap 'rm -f "$password_file"' EXIT
printf '%s\n' "$warden_password" >"$password_file"
if ! "$msu_server" status "$server" >/dev/null 2>&1; then
  "$msu_server" create "$server" --password-file "$password_file"
fi
"$msu_server" start "$server" --password-file "$password_file" >/dev/null

if [[ ! -f "${databases}/Fire1.mdf" ]]; then
  mkdir -p "$databases"
  "$msu_server" sample --out "$databases" --attach "$server" --password-file "$password_file"
fi

cat <<TEXT

Demo ready. In the wizard:
  server           ${server}
  Warden password  ${warden_password}
  merge            Database 1: ${databases}/Fire1.mdf
                   Database 2: ${databases}/Fire2.mdf
                   New Database: ${databases}/Merged.mdf
  split            Database to Split: ${databases}/Split1.mdf
                   Resulting Database: ${databases}/SplitResult.mdf
TEXT
