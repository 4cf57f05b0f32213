#!/usr/bin/env bash
# Runs the utility against a real SQL Server: loads the sample databases with the script of
# `msu-server sample --tsql`, detaches and attaches their files again, then runs msu check,
# msu merge (which verifies the merged database) and msu split on them, and prints what passed.
#
#   scripts/sqlserver-acceptance.sh SERVER
#
# SERVER is the name the utility lists: a server of freetds.conf or an ODBC data source whose
# driver is FreeTDS. Run it on the server's machine, as a user who may read and write the data
# folder (the utility copies the data files) and whose build folder the server may read and
# write too (the working copies are attached from there). Settings, from the environment:
#   ORVANE_STAGE         the staged programs (default: build/release/stage, then build/dev/stage)
#   ORVANE_DATA_DIR      the server's data folder, as the server names it and as this machine
#                        reaches it (default: /var/opt/mssql/data)
#   ORVANE_SA_LOGIN      a login of the sysadmin role that creates the databases (default: sa)
#   ORVANE_SA_PASSWORD   its password (asked for when not set)
#   ORVANE_WARDEN        the Warden password the utility is given (default: orvane); the login
#                        VESTRA is created with the server password derived from it if missing
# The statements are sent with FreeTDS's fisql (Debian's freetds-bin). Nothing is run against
# databases other than Fire1, Fire2, Split1, Merged and SplitResult; the first three must not
# exist yet.
set -uo pipefail

server="${1:?usage: $0 SERVER}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
stage="${ORVANE_STAGE:-}"
if [[ -z "$stage" ]]; then
  for candidate in "$here/build/release/stage" "$here/build/dev/stage"; do
    [[ -x "$candidate/msu" ]] && stage="$candidate" && break
  done
fi
data_dir="${ORVANE_DATA_DIR:-/var/opt/mssql/data}"
sa_login="${ORVANE_SA_LOGIN:-sa}"
warden="${ORVANE_WARDEN:-orvane}"
if [[ -z "$stage" || ! -x "$stage/msu" || ! -x "$stage/msu-server" ]]; then
  echo "No staged msu and msu-server found; build first or set ORVANE_STAGE." >&2
  exit 2
fi
if ! command -v fisql >/dev/null; then
  echo "fisql is missing: apt-get install freetds-bin" >&2
  exit 2
fi
if [[ -z "${ORVANE_SA_PASSWORD:-}" ]]; then
  read -r -s -p "Password of ${sa_login} on ${server}: " ORVANE_SA_PASSWORD
  echo
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
result() {  # result NAME STATUS [ALLOWED...]: passes when STATUS is one of ALLOWED (default 0)
  local name="$1" status="$2"
  shift 2
  local allowed=("${@:-0}")
  for ok in "${allowed[@]}"; do
    if [[ "$status" == "$ok" ]]; then
      echo "PASS  $name"
      passed=$((passed + 1))
      return 0
    fi
  done
  echo "FAIL  $name (exit status $status; see $work/$name.log)"
  failed=$((failed + 1))
  cp -r "$work" "${work}.kept" 2>/dev/null && echo "      logs kept in ${work}.kept"
  return 1
}
sql() {  # sql FILE: runs a script of batches separated by GO as the sysadmin login
  fisql -S "$server" -U "$sa_login" -P "$ORVANE_SA_PASSWORD" -i "$1" >"$1.log" 2>&1 &&
    ! grep -qE "^Msg [0-9]+, Level (1[6-9]|2[0-9])" "$1.log"
}

# The server password the utility logs in with: the code of the upper-cased first character,
# then the rest as typed.
first="${warden:0:1}"
server_password="$(printf '%d' "'${first^^}")${warden:1}"
printf '%s\n' "$warden" >"$work/warden"

cat >"$work/login.sql" <<SQL
IF SUSER_ID(N'VESTRA') IS NULL
  CREATE LOGIN VESTRA WITH PASSWORD = N'${server_password//\'/\'\'}', CHECK_POLICY = OFF;
ALTER SERVER ROLE sysadmin ADD MEMBER VESTRA;
GO
SQL
sql "$work/login.sql"
result login $?

"$stage/msu-server" sample --tsql "$work/samples.sql" --out "$work/sqlite" \
  --data-dir "$data_dir" >"$work/sample.log" 2>&1
result sample-script $?
sql "$work/samples.sql"
result load-samples $?
cp "$work/sqlite/Fire1.ini" "$work/sqlite/Split1.ini" "$data_dir/" 2>/dev/null ||
  echo "note: the ini files could not be copied to $data_dir (the check goes on without)"

# The files the script made are taken off the server and attached again by their data file
# alone, as the utility does.
{
  for db in Fire1 Fire2 Split1; do
    echo "EXEC sp_detach_db @dbname = N'$db';"
    echo "EXEC sp_attach_single_file_db @dbname = N'$db', @physname = N'$data_dir/$db.mdf';"
  done
  echo "GO"
} >"$work/attach.sql"
sql "$work/attach.sql"
result attach-files $?

common=(--server "$server" --password-file "$work/warden")
"$stage/msu" check "${common[@]}" --db1 "$data_dir/Fire1.mdf" --db2 "$data_dir/Fire2.mdf" \
  --new "$data_dir/Merged.mdf" --report "$work/check.rtf" >"$work/msu-check.log" 2>&1
result msu-check $? 0 1

"$stage/msu" merge "${common[@]}" --db1 "$data_dir/Fire1.mdf" --db2 "$data_dir/Fire2.mdf" \
  --new "$data_dir/Merged.mdf" --overwrite --json "$work/merge.json" >"$work/msu-merge.log" 2>&1
result msu-merge $? 0 1

if "$stage/msu" split --help >/dev/null 2>&1; then
  "$stage/msu" split "${common[@]}" --db "$data_dir/Split1.mdf" \
    --new "$data_dir/SplitResult.mdf" --keep 1 >"$work/msu-split.log" 2>&1
  result msu-split $? 0
else
  echo "SKIP  msu-split (msu has no split command in this build)"
fi

echo "${passed} passed, ${failed} failed"
[[ "$failed" == 0 ]]
