#!/usr/bin/env bash
# Pictures of every page of the wizard, to look at before a page is called done: drives the
# wizard under Xvfb through a whole merge (a name no server answers to, a stopped server and
# Cancel, the overwrite question, the problem report saved and printed, a merge stopped half-way
# by Back and run again, all incidents folded into one) and a whole split (a database the server
# does not know, then the demo's), and writes one PNG per page and question into OUT, with what
# `msu check` said beside the window (NN-*.txt). The demo lives in a scratch HOME that is removed at the end: nothing of
# yours is read or changed.
#
#   scripts/screenshots.sh [OUT]    (default OUT: screenshots/; PRESET=ci unless set)
#
# Needs the configured preset, xvfb-run and xauth.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${PRESET:-ci}"
out="$(realpath -m "${1:-screenshots}")"

nice -n 10 cmake --build --preset "$preset" --target orvane-msu msu msu-server wizard_tour
stage="$(realpath "build/${preset}/stage")"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export HOME="$scratch"
unset ORVANE_SERVER_ROOT XDG_DATA_HOME XDG_STATE_HOME QT_QPA_PLATFORM
scripts/demo.sh "$stage" >/dev/null

rm -rf "$out"
mkdir -p "$out"
xvfb-run -a -s "-screen 0 1280x900x24" "build/${preset}/tests/wizard_tour" "$stage" "$out"
echo "Pictures in $out"
