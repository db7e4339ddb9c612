#!/usr/bin/env bash
# Checks the Debian package as a user's machine sees it, without installing it:
#   tests/package/check_package.sh build/package/orvalis_VERSION_ARCH.deb
# lintian (no error and no warning that is not overridden with its reason), the desktop entry,
# the AppStream metadata and the MIME type validated as installed, every file a user reaches in
# place, and the extracted programs run from the extracted tree: --version, and a first start and
# an analyze in an empty home that must take their data from the package, not the build tree.
set -euo pipefail
deb=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check_package: $*" >&2; exit 1; }

version=$(dpkg-deb --field "$deb" Version)
depends=$(dpkg-deb --field "$deb" Depends)
[[ $depends == *libsqlite3* && $depends == *libc-ares* ]] || fail "Depends lacks the engine's libraries: $depends"
dpkg-deb -x "$deb" "$work/root"
root=$work/root
share=$root/usr/share

echo "-- lintian"
lintian --fail-on error,warning "$deb"

echo "-- installed files"
for f in usr/bin/orvalis-cli usr/share/orvalis/LEXICON.DAT usr/share/orvalis/searchres.ini \
  usr/share/orvalis/pages/help.htm usr/share/applications/orvalis.desktop \
  usr/share/metainfo/com.brennick.Orvalis.metainfo.xml usr/share/mime/packages/orvalis.xml \
  usr/share/icons/hicolor/scalable/apps/orvalis.svg usr/share/icons/hicolor/16x16/apps/orvalis.png \
  usr/share/icons/hicolor/256x256/apps/orvalis.png usr/share/man/man1/orvalis.1.gz \
  usr/share/man/man1/orvalis-cli.1.gz usr/share/bash-completion/completions/orvalis-cli \
  usr/share/doc/orvalis/copyright usr/share/doc/orvalis/changelog.gz; do
  [ -s "$root/$f" ] || fail "missing $f"
done
desktop-file-validate "$share/applications/orvalis.desktop"
appstreamcli validate --no-net "$share/metainfo/com.brennick.Orvalis.metainfo.xml" >/dev/null
XDG_DATA_DIRS=$share update-mime-database "$share/mime"
grep -q '^60:application/x-orvalis-database:\*\.ov2$' "$share/mime/globs2" || fail "no .ov2 type"
for page in orvalis orvalis-cli; do
  LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$share/man/man1/$page.1.gz" 2>&1 >/dev/null |
    { ! grep . ; } || fail "$page.1 has roff warnings"
done

echo "-- the extracted programs"
cli=$root/usr/bin/orvalis-cli
[ "$("$cli" --version)" = "orvalis-cli $version" ] || fail "orvalis-cli --version: $("$cli" --version)"
if [ -x "$root/usr/bin/orvalis" ]; then
  [ "$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/orvalis" --version)" = "orvalis $version" ] ||
    fail "orvalis --version"
fi
# A first start in an empty home takes the data shipped beside the program.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
unset ORVALIS_CONFIG_HOME ORVALIS_SHIPPED_DATA
mkdir -p "$HOME"
"$cli" install >"$work/install.txt"
grep -qx "Shipped data: $share/orvalis" "$work/install.txt" ||
  fail "the first start did not take the package's data: $(cat "$work/install.txt")"
cmp -s "$share/orvalis/LEXICON.DAT" "$XDG_DATA_HOME/orvalis/LEXICON.DAT" || fail "lexicon not copied"
# The package's own help page, read with the lexicon that came from the package.
"$cli" analyze "$share/orvalis/pages/help.htm" >"$work/analyze.txt"
grep -q '^Key terms: ..*' "$work/analyze.txt" || fail "analyze found no key terms: $(cat "$work/analyze.txt")"

echo "-- completion"
PATH=$root/usr/bin:$PATH
"$cli" new "$work/c.ov2" >/dev/null
"$cli" --db "$work/c.ov2" topic add "Solar sails" >/dev/null
complete_line() {  # prints the completions of the words given, the last being the one typed
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _orvalis_cli
           printf "%s\n" "${COMPREPLY[@]}"' _ "$share/bash-completion/completions/orvalis-cli" "$@"
}
[ "$(complete_line orvalis-cli to)" = topic ] || fail "completion of a command"
[ "$(complete_line orvalis-cli topic list --sc)" = --scheduled ] || fail "completion of an option"
[ "$(complete_line orvalis-cli --db "$work/c.ov2" topic show Sol)" = 'Solar\ sails' ] ||
  fail "completion of a topic name: $(complete_line orvalis-cli --db "$work/c.ov2" topic show Sol)"

echo "-- every command documented and completed"
# The commands that --help lists, those the manual page describes and those completion offers
# must be one list, so a command added to the program cannot be missing from either.
commands_of_help=$("$cli" --help | sed -n 's/^  \([a-z][a-z-]*\).*/\1/p' | sort -u)
commands_of_man=$(zcat "$share/man/man1/orvalis-cli.1.gz" | sed -n '/^\.SH COMMANDS/,/^\.SH /p' |
  sed -n '/^\.T[PQ]$/{n;s/^\.B[IR]\? "\?\([a-z][a-z-]*\).*/\1/p}' | sort -u)
commands_of_completion=$(complete_line orvalis-cli "" | sort -u)
[ "$commands_of_help" = "$commands_of_man" ] ||
  fail "manual page and --help differ: $(diff <(echo "$commands_of_help") <(echo "$commands_of_man") | grep '^[<>]' | tr '\n' ' ')"
[ "$commands_of_help" = "$commands_of_completion" ] ||
  fail "completion and --help differ: $(diff <(echo "$commands_of_help") <(echo "$commands_of_completion") | grep '^[<>]' | tr '\n' ' ')"
echo "package $(basename "$deb") checked"
