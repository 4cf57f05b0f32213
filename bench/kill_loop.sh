#!/usr/bin/env bash
# Kills `msu check` with SIGKILL at random moments on a generated pair, then lets the next run
# start, and counts what the kills left behind once that run has ended:
#   - runs that left a database of the user detached (goal 0): the next run must attach again
#     what a killed run took off the server;
#   - user files changed (goal 0): the user's databases are only ever read.
# Also shown: how many kills landed while the user's databases were off the server (the next
# run said it attached them again), and the next runs that did not end as a check does.
#
# Usage: bench/kill_loop.sh [STAGE_FOLDER]   (default: build/dev/stage)
# Environment: ROWS (rows per database, default 100000), RUNS (kills, default 20),
#              SEED (random seed of the kill moments, default the process number).
# Everything happens in a scratch folder: its own HOME, server root and program folder.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
stage=$(cd "${1:-$here/../build/dev/stage}" && pwd)
rows=${ROWS:-100000}
runs=${RUNS:-20}
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
app="$work/app"
cp -r "$stage" "$app"
echo secret >"$work/warden"
server() { "$app/msu-server" --root "$root" "$@"; }

server create ORVANE --password-file "$work/warden" >/dev/null
echo "Generating a pair of $rows rows per database ..."
server sample --out "$data" --rows "$rows" --attach ORVANE >/dev/null
user_files=("$data/Fire1.mdf" "$data/Fire2.mdf" "$data/Fire1.ini")
sha256sum "${user_files[@]}" >"$work/user_files.sha256"

check=("$app/msu" check --server ORVANE --db1 "$data/Fire1.mdf" --db2 "$data/Fire2.mdf"
       --new "$data/Merged.mdf" --root "$root" --password-file "$work/warden")

# How long an uninterrupted check takes: the kills fall anywhere inside it.
start=$(date +%s%N)
"${check[@]}" >/dev/null 2>&1 || true
duration_ms=$(( ($(date +%s%N) - start) / 1000000 ))
echo "An uninterrupted check takes $duration_ms ms; killing $runs runs at random moments of it."

left_detached=0
files_changed=0
repaired=0
odd_next_runs=0
for ((run = 1; run <= runs; run++)); do
  moment_ms=$(( RANDOM * duration_ms / 32768 ))
  "${check[@]}" >/dev/null 2>&1 &
  running=$!
  sleep "$(printf '%d.%03d' $((moment_ms / 1000)) $((moment_ms % 1000)))"
  kill -9 "$running" 2>/dev/null || true
  wait "$running" 2>/dev/null || true
  running=

  # The next run: it attaches again what the killed one left detached, and checks.
  status=0
  next=$("${check[@]}" 2>&1) || status=$?
  grep -q '^Attached the database Fire[12] again' <<<"$next" && repaired=$((repaired + 1))
  if [[ $status -gt 1 ]]; then
    odd_next_runs=$((odd_next_runs + 1))
    echo "  run $run: the next run ended with status $status:" >&2
    sed 's/^/    /' <<<"$next" | tail -5 >&2
  fi

  attached=$(server --no-repair databases ORVANE 2>/dev/null)
  if ! grep -q '^Fire1 ' <<<"$attached" || ! grep -q '^Fire2 ' <<<"$attached"; then
    left_detached=$((left_detached + 1))
    echo "  run $run (killed at $moment_ms ms): a database is still detached" >&2
  fi
  if ! sha256sum --quiet -c "$work/user_files.sha256" >/dev/null 2>&1 ||
     compgen -G "$data/Fire[12].mdf-*" >/dev/null; then
    files_changed=$((files_changed + 1))
    echo "  run $run (killed at $moment_ms ms): a user file changed" >&2
    sha256sum "${user_files[@]}" >"$work/user_files.sha256"
  fi
done

echo "kills: $runs"
echo "kills that left the user's databases detached until the next run: $repaired"
echo "next runs that did not end as a check does (status above 1): $odd_next_runs"
echo "runs that left a database detached after the next run: $left_detached (goal 0)"
echo "runs that changed a user file: $files_changed (goal 0)"
[[ $left_detached -eq 0 && $files_changed -eq 0 ]]
