#!/usr/bin/env bash
# Fails when clang-format would change any C++ file of ours (.cpp, .h), as
# judged by the committed .clang-format. The files are the ones git knows
# (tracked, plus new ones not ignored), so build folders are left out and
# nothing of ours is. Prints the files, what would change, and the command
# that fixes them.
#
# The style is pinned to clang-format 14, Debian 12's (scripts/setup.sh
# installs it): other versions lay out some constructs differently, and the
# check must give the same verdict on every machine. CLANG_FORMAT names
# another binary and skips the version check.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -n "${CLANG_FORMAT:-}" ]; then
    clang_format=$CLANG_FORMAT
else
    clang_format=$(command -v clang-format-14 || command -v clang-format || true)
    if [ -z "$clang_format" ]; then
        echo "check-format: clang-format not found; scripts/setup.sh installs it" >&2
        exit 1
    fi
    version=$("$clang_format" --version)
    if [[ $version != *"clang-format version 14."* ]]; then
        echo "check-format: $clang_format is not clang-format 14 ($version)." >&2
        echo "check-format: the committed style is checked with Debian 12's clang-format 14;" >&2
        echo "check-format: install it, or set CLANG_FORMAT=$clang_format to use this one." >&2
        exit 1
    fi
fi
if [ ! -f .clang-format ]; then
    echo "check-format: .clang-format is missing from $PWD" >&2
    exit 1
fi

files=()
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    while IFS= read -r -d '' f; do
        [ -f "$f" ] && files+=("$f")
    done < <(git ls-files -z --cached --others --exclude-standard -- '*.cpp' '*.h')
else
    # A copy without git: every source outside the build folders.
    while IFS= read -r -d '' f; do
        files+=("${f#./}")
    done < <(find . \( -path './build*' -o -path './.git' \) -prune -o \
        -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)
fi
if [ ${#files[@]} -eq 0 ]; then
    echo "check-format: no C++ files found" >&2
    exit 1
fi

# One run over every file (one process per file costs seconds on a busy
# machine); it reports each place as "file:line:col: error: code should be
# clang-formatted".
status=0
report=$("$clang_format" --dry-run --Werror "${files[@]}" 2>&1) || status=$?
if [ $status -eq 0 ]; then
    echo "check-format: ${#files[@]} files match .clang-format"
    exit 0
fi
mapfile -t unformatted < <(sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' \
    <<<"$report" | sort -u)
if [ ${#unformatted[@]} -eq 0 ]; then
    printf '%s\n' "$report" >&2
    echo "check-format: $clang_format failed (status $status)" >&2
    exit 1
fi

{
    echo "check-format: ${#unformatted[@]} of ${#files[@]} files are not formatted as .clang-format says:"
    for f in "${unformatted[@]}"; do
        echo "    $f"
    done
    echo
    # What clang-format would change, the first 200 lines of it.
    changes=$(for f in "${unformatted[@]}"; do
        "$clang_format" "$f" | diff -u --label "$f" --label "$f (formatted)" "$f" - || true
    done)
    printf '%s\n' "$changes" | head -n 200
    lines=$(printf '%s\n' "$changes" | wc -l)
    [ "$lines" -le 200 ] || echo "... $((lines - 200)) more lines of changes"
    echo
    echo "check-format: to fix them, run from the project root:"
    echo "    ${CLANG_FORMAT:-$(basename "$clang_format")} -i ${unformatted[*]}"
} >&2
exit 1
