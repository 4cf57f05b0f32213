#!/usr/bin/env bash
# Checks that every tracked C++ source is formatted with the repository's .clang-format.
# Changes nothing. Exits 0 when all are formatted; otherwise lists the files that are not and
# exits 1. Exits 2 when clang-format is missing or cannot read a file or the style.
#
#   scripts/check-format.sh            check the whole tree
#   clang-format -i FILES              format the files it lists
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# The version matters: another clang-format can format the same file differently.
clang_format="${CLANG_FORMAT:-}"
if [[ -z "$clang_format" ]]; then
  for candidate in clang-format-14 clang-format; do
    if command -v "$candidate" >/dev/null; then
      clang_format="$candidate"
      break
    fi
  done
fi
if [[ -z "$clang_format" ]]; then
  echo "check-format: clang-format not found (install the package clang-format)" >&2
  exit 2
fi

mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h' '*.cc' '*.hpp')
existing=()
for f in "${files[@]}"; do
  [[ -f "$f" ]] && existing+=("$f")  # a file deleted but not yet committed is skipped
done

# One run over all files; each unformatted place is reported as "FILE:LINE:COL: error: ...".
status=0
report="$("$clang_format" --dry-run -Werror --style=file "${existing[@]}" 2>&1)" || status=$?
mapfile -t unformatted < <(sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' \
                             <<<"$report" | sort -u)

if ((status != 0 && ${#unformatted[@]} == 0)); then
  echo "check-format: $clang_format failed:" >&2
  echo "$report" >&2
  exit 2
fi
if ((${#unformatted[@]})); then
  echo "check-format: ${#unformatted[@]} of ${#existing[@]} files are not formatted" \
       "(clang-format $("$clang_format" --version | sed 's/.*version //')):"
  printf '  %s\n' "${unformatted[@]}"
  echo "Format them with: $clang_format -i FILE..."
  exit 1
fi
echo "check-format: ${#existing[@]} files formatted"
