#!/usr/bin/env bash
# Kills msu check, merge and split with SIGKILL at random moments (the final copy of the new
# database included), on one server from two application folders taking turns, and counts what
# each kill left behind once `msu-server status` (which repairs what runs left) has run:
#   - user files changed (goal 0): the user's databases are only ever read;
#   - runs after which a user's database was detached, or a working database (W_O_R_K_*) still
#     attached (goal 0): whatever a killed run of either folder left, the next start repairs;
#   - files found under --new that are not a whole database (goal 0): a new database takes its
#     name complete, or not at all (an older whole file there may stay);
#   - next runs that failed (goal 0): a run of the same kind from the other application folder,
#     started right after, must end as an uninterrupted one does.
#
# Usage: bench/kill_loop.sh [STAGE_FOLDER]   (default: build/dev/stage)
# Environment: ROWS (rows per database, default 100000), RUNS (kills of each kind, default 20),
#              KINDS (default "check merge split"), SEED (random seed, default the process id).
# Everything happens in a scratch folder: its own HOME, server root and program folders.
set -euo pipefail
command -v sqlite3 >/dev/null || { echo "kill_loop.sh needs sqlite3 (apt-get install sqlite3)" >&2; exit 2; }

here=$(cd "$(dirname "$0")" && pwd)
stage=$(cd "${1:-$here/../build/dev/stage}" && pwd)
rows=${ROWS:-100000}
runs=${RUNS:-20}
kinds=${KINDS:-check merge split}
RANDOM=${SEED:-$$}

work=$(mktemp -d)
cleanup() {
  [[ -n "${running:-}" ]] && kill -9 "$running" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export HOME="$work/home"
mkdir -p "$HOME"
root="$work/servers"
data="$work/data"
apps=("$work/app1" "$work/app2")
for app in "${apps[@]}"; do cp -r "$stage" "$app"; done
warden="$work/warden"
echo secret >"$warden"
server() { "${apps[0]}/msu-server" --root "$root" "$@"; }

server create ORVANE --password-file "$warden" >/dev/null
echo "Generating sample databases of $rows rows ..."
server sample --out "$data" --rows "$rows" --attach ORVANE --password-file "$warden" >/dev/null
user_files=("$data/Fire1.mdf" "$data/Fire2.mdf" "$data/Fire1.ini" "$data/Split1.mdf"
            "$data/Split1.ini")
sha256sum "${user_files[@]}" >"$work/user_files.sha256"

# The command of a kind, run from application folder `app`.
command_of() {
  local kind=$1 app=$2
  local common=(--server ORVANE --root "$root" --password-file "$warden")
  case "$kind" in
    check) echo "$app/msu" check "${common[@]}" --db1 "$data/Fire1.mdf" --db2 "$data/Fire2.mdf" \
             --new "$data/Merged.mdf" --overwrite ;;
    merge) echo "$app/msu" merge "${common[@]}" --db1 "$data/Fire1.mdf" --db2 "$data/Fire2.mdf" \
             --new "$data/Merged.mdf" --overwrite ;;
    split) echo "$app/msu" split "${common[@]}" --db "$data/Split1.mdf" \
             --new "$data/SplitResult.mdf" --keep 2,4 --overwrite ;;
  esac
}
target_of() {
  case "$1" in
    merge) echo "$data/Merged.mdf" ;;
    split) echo "$data/SplitResult.mdf" ;;
    *) echo "" ;;
  esac
}
# Exit statuses of a run that ended as it should.
ends_well() {
  case "$1" in
    check) [[ $2 -le 1 ]] ;;
    *) [[ $2 -eq 0 ]] ;;
  esac
}
# Whether a file is a whole SQLite database.
whole_database() {
  [[ "$(sqlite3 -readonly "$1" 'PRAGMA integrity_check' 2>/dev/null)" == ok ]]
}

total_changed=0
total_left=0
total_partial=0
total_failed=0
for kind in $kinds; do
  read -r -a first <<<"$(command_of "$kind" "${apps[0]}")"
  start=$(date +%s%N)
  "${first[@]}" >/dev/null 2>&1 || true
  duration_ms=$(( ($(date +%s%N) - start) / 1000000 ))
  echo "msu $kind takes $duration_ms ms uninterrupted; killing $runs runs at random moments."

  changed=0 left=0 partial=0 failed=0 repaired=0
  for ((run = 1; run <= runs; run++)); do
    app=${apps[$((run % 2))]}
    other=${apps[$(((run + 1) % 2))]}
    read -r -a killed <<<"$(command_of "$kind" "$app")"
    moment_ms=$(( RANDOM * (duration_ms + 200) / 32768 ))
    "${killed[@]}" >/dev/null 2>&1 &
    running=$!
    sleep "$(printf '%d.%03d' $((moment_ms / 1000)) $((moment_ms % 1000)))"
    kill -9 "$running" 2>/dev/null || true
    wait "$running" 2>/dev/null || true
    running=

    status_out=$(server status ORVANE 2>&1 || true)
    grep -q -e 'Attached the database' -e 'Detached the working database' <<<"$status_out" &&
      repaired=$((repaired + 1))
    attached=$(server --no-repair databases ORVANE 2>/dev/null || true)
    if ! grep -q '^Fire1 ' <<<"$attached" || ! grep -q '^Fire2 ' <<<"$attached" ||
       ! grep -q '^Split1 ' <<<"$attached" || grep -q '^W_O_R_K_' <<<"$attached"; then
      left=$((left + 1))
      echo "  $kind run $run (killed at $moment_ms ms): left on the server after status:" >&2
      sed 's/^/    /' <<<"$attached" >&2
    fi
    target=$(target_of "$kind")
    if [[ -n "$target" && -e "$target" ]] && ! whole_database "$target"; then
      partial=$((partial + 1))
      echo "  $kind run $run (killed at $moment_ms ms): $target is not a whole database" >&2
    fi
    if ! sha256sum --quiet -c "$work/user_files.sha256" >/dev/null 2>&1 ||
       compgen -G "$data/Fire[12].mdf-*" >/dev/null || compgen -G "$data/Split1.mdf-*" >/dev/null
    then
      changed=$((changed + 1))
      echo "  $kind run $run (killed at $moment_ms ms): a user file changed" >&2
      sha256sum "${user_files[@]}" >"$work/user_files.sha256"
    fi

    # The next run, from the other application folder.
    read -r -a next <<<"$(command_of "$kind" "$other")"
    status=0
    output=$("${next[@]}" 2>&1) || status=$?
    if ! ends_well "$kind" "$status"; then
      failed=$((failed + 1))
      echo "  $kind run $run (killed at $moment_ms ms): the next run ended with $status:" >&2
      tail -4 <<<"$output" | sed 's/^/    /' >&2
    fi
  done
  echo "  kills: $runs; repairs that status made: $repaired"
  echo "  user files changed: $changed; runs that left something on the server: $left;" \
       "partial files under --new: $partial; next runs failed: $failed"
  total_changed=$((total_changed + changed))
  total_left=$((total_left + left))
  total_partial=$((total_partial + partial))
  total_failed=$((total_failed + failed))
done

echo "user files changed: $total_changed (goal 0)"
echo "runs that left a database detached or a working database attached: $total_left (goal 0)"
echo "files under --new that are not a whole database: $total_partial (goal 0)"
echo "next runs that failed: $total_failed (goal 0)"
[[ $total_changed -eq 0 && $total_left -eq 0 && $total_partial -eq 0 && $total_failed -eq 0 ]]
