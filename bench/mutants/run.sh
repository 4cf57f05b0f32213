#!/usr/bin/env bash
# Applies each single fault of bench/mutants/mutants.txt, one at a time, to a scratch worktree
# of the committed HEAD, builds it (the ci preset) and runs the test suite, stopping at the
# first failing test. A fault the suite fails on is killed; one it passes is a survivor: a
# fault a user could meet that no test would catch. Prints one line per fault and the ratio.
#
# Usage: bench/mutants/run.sh [NAME ...]   (default: every fault of the list)
# Needs python3 (to apply the faults) and the packages of ./setup.sh test. Takes a while: one
# build and one run of the suite per fault (the first build is a whole one).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(git -C "$here" rev-parse --show-toplevel)
work=$(mktemp -d)
tree="$work/tree"
cleanup() {
  git -C "$repo" worktree remove --force "$tree" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
git -C "$repo" worktree add --detach "$tree" HEAD >/dev/null
# The list of the committed tree, so that its faults match the files it has.
list="$tree/bench/mutants/mutants.txt"
export CCACHE_BASEDIR="$tree"
export QT_QPA_PLATFORM=offscreen

build() { cmake --build --preset ci >"$work/build.log" 2>&1; }
suite() { ctest --preset ci -j2 --stop-on-failure --timeout 300 >"$work/test.log" 2>&1; }

cd "$tree"
echo "Building the unchanged tree ..."
cmake --preset ci >/dev/null
build || { tail -20 "$work/build.log"; echo "the unchanged tree does not build"; exit 2; }
suite || { tail -20 "$work/test.log"; echo "the unchanged tree fails its tests"; exit 2; }

# Applies fault NAME to the tree; exit status 3 when its text is not found exactly once.
apply() {
  python3 - "$list" "$1" <<'PY'
import sys
path, wanted = sys.argv[1], sys.argv[2]
faults, fault = [], {}
for line in open(path, encoding="utf-8"):
    line = line.rstrip("\n")
    if line.startswith("#"):
        continue
    if not line.strip():
        if fault: faults.append(fault); fault = {}
        continue
    key, _, value = line.partition(":")
    fault[key.strip()] = value[1:] if value.startswith(" ") else value
if fault: faults.append(fault)
for f in faults:
    if f["name"] != wanted: continue
    find = f["find"].replace("\\n", "\n")
    replace = f.get("replace", "").replace("\\n", "\n")
    text = open(f["file"], encoding="utf-8").read()
    if text.count(find) != 1:
        print(f"{wanted}: the text to find occurs {text.count(find)} times in {f['file']}")
        sys.exit(3)
    open(f["file"], "w", encoding="utf-8").write(text.replace(find, replace))
    print(f["file"])
    sys.exit(0)
print(f"{wanted}: no such fault"); sys.exit(3)
PY
}

names=("$@")
if [[ ${#names[@]} -eq 0 ]]; then
  mapfile -t names < <(sed -n 's/^name: //p' "$list")
fi
killed=0 survived=0 broken=0
printf '%-46s %-9s %7s  %s\n' fault result seconds "first failing test"
for name in "${names[@]}"; do
  start=$(date +%s)
  if ! file=$(apply "$name"); then
    printf '%-46s %-9s %7s  %s\n' "$name" "no-apply" "-" "$file"
    broken=$((broken + 1))
    continue
  fi
  result=survived
  failing=""
  if ! build; then
    result=no-build
    broken=$((broken + 1))
  elif ! suite; then
    result=killed
    killed=$((killed + 1))
    # The first test to fail as they ended: the summary lists them by number, which can put
    # first a test that ran beside the failing one and was cut off.
    failing=$(sed -n 's/^.*Test *#[0-9]*: \([^ ]*\) .*\*\*\*\(Failed\|Timeout\|Exception\).*/\1/p' \
      "$work/test.log" | head -1)
    [[ -n "$failing" ]] || failing=$(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (Failed.*/\1/p; s/^[[:space:]]*[0-9]* - \(.*\) (Timeout.*/\1/p' \
      "$work/test.log" | head -1)
  else
    survived=$((survived + 1))
  fi
  printf '%-46s %-9s %7s  %s\n' "$name" "$result" "$(($(date +%s) - start))" "$failing"
  git checkout -q -- "$file"
done
build >/dev/null || true
total=$((killed + survived))
echo "killed $killed of $total faults ($((total ? killed * 100 / total : 0))%); survived $survived;" \
     "not applied or not built: $broken"
[[ $broken -eq 0 && $total -gt 0 && $((killed * 10)) -ge $((total * 9)) ]]
