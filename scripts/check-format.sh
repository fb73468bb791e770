#!/usr/bin/env bash
# Checks that the lines a change adds or edits in C++ and CUDA sources follow
# .clang-format. The change is everything since <base> (default: the commit
# before HEAD, so that CI checks what the newest commit or merge lands).
#   scripts/check-format.sh [base]
# Prints the reformatting it asks for and exits 1 when there is any; run
# `git clang-format <base>` to apply it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
base="${1:-HEAD~1}"
if ! git rev-parse --verify --quiet "$base^{commit}" >/dev/null; then
  echo "check-format: no commit $base to compare with; nothing to check."
  exit 0
fi
if ! command -v git-clang-format >/dev/null 2>&1; then
  echo "check-format: git-clang-format is missing (scripts/install-dependencies.sh installs clang-format)." >&2
  exit 1
fi
diff="$(git clang-format --diff --extensions cpp,h,cu,cuh "$base" -- . || true)"
case "$diff" in
  ""|*"no modified files to format"*|*"did not modify any files"*)
    echo "check-format: the changed lines since $base follow .clang-format."
    exit 0 ;;
esac
printf '%s\n' "$diff"
echo "check-format: run 'git clang-format $base' to format the changed lines." >&2
exit 1
