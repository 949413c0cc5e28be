#!/usr/bin/env bash
# Builds the Debian package from a build folder (default build/, made by
# scripts/build.sh) and checks it and its desktop files:
#   - lintian reports no error and no warning;
#   - the desktop entry passes desktop-file-validate, the AppStream metadata
#     appstreamcli validate;
#   - the simulator's manual page names every option and command that
#     kelvora-sim --help names, and no other.
# Prints the package's path last. The binaries are stripped in the package.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"

scripts/setup.sh packaging >/dev/null
cmake --build "$dir" --target kelvora kelvora-sim kelvora_packaging_files >/dev/null
if ! log="$(cd "$dir" && cpack -G DEB 2>&1)"; then echo "$log" >&2; exit 1; fi
deb="$(ls -t "$dir"/kelvora_*.deb | head -n 1)"

desktop-file-validate packaging/org.kelvora.Kelvora.desktop
appstreamcli validate --no-net --pedantic packaging/org.kelvora.Kelvora.metainfo.xml >/dev/null

# Options and commands of the simulator: from its help, and from its page.
help_words() {
    "$dir/kelvora-sim" --help |
        grep -oE '^  (--[a-z-]+|-h|[a-z]+)( |$)' | sed 's/ *$//; s/^ *//' | sort -u
}
page_words() {
    grep -E '^\.(B|BI|BR) ' packaging/kelvora-sim.1 | awk '{print $2}' | tr -d '"' |
        sed 's/\\-/-/g' | grep -E '^(--[a-z-]+|-h|[a-z]+)$' | sort -u
}
missing="$(comm -23 <(help_words) <(page_words))"
if [ -n "$missing" ]; then
    echo "package: kelvora-sim.1 does not describe: $missing" >&2
    exit 1
fi

# lintian refuses to run as root without being told. The one tag let pass
# is the help in /usr/share/kelvora/help: F1 opens it at run time, so it
# must not live under /usr/share/doc, which minimal systems leave out
# (dpkg path-exclude).
lintian --fail-on error,warning --allow-root --suppress-tags \
    package-contains-documentation-outside-usr-share-doc "$deb"
echo "$deb"
