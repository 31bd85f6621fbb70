#!/usr/bin/env bash
# Fails when a tracked C++ file is not as clang-format-14 lays it out by the
# repository's .clang-format. `clang-format-14 -i <file>` mends one.
set -euo pipefail
cd "$(dirname "$0")/.."
CF="${CLANG_FORMAT:-clang-format-14}"
if ! command -v "$CF" >/dev/null; then
  echo "format: $CF not found (tools/dev.sh setup installs it)" >&2
  exit 2
fi
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
else
  mapfile -d '' files < <(find src tests bench fuzz tools \( -name '*.cpp' -o -name '*.h' \) -print0)
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Files deleted in the working tree but still tracked are skipped.
printf '%s\0' "${files[@]}" | xargs -0 -r sh -c 'for f; do [ -f "$f" ] && printf "%s\0" "$f"; done' sh |
  xargs -0 -r -n 25 -P 4 "$CF" --style=file --dry-run --Werror >"$log" 2>&1 || true
mapfile -t bad < <(sed -n 's/^\(.*\.\(cpp\|h\)\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' "$log" | sort -u)
if [ ${#bad[@]} -gt 0 ]; then
  printf 'format: not laid out by %s:\n' "$CF"
  printf '  %s\n' "${bad[@]}"
  head -n 30 "$log"
  exit 1
fi
if grep -q 'error' "$log"; then
  head -n 30 "$log"
  exit 1
fi
echo "format: ${#files[@]} tracked C++ files laid out by $CF"
