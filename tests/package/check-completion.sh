#!/usr/bin/env bash
# The runner's bash completion in a bash that has loaded bash-completion and the completion file:
# the function is registered for the runner (complete -p), and asked as bash asks it on Tab it
# offers the commands, each command's options, the CSV encodings, file names after the file
# options and the report paths "list" prints after run, info and params.
# Usage: check-completion.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
src=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
loader=/usr/share/bash-completion/bash_completion
if [ ! -r "$loader" ]; then
  echo "bash-completion is not installed: the completion check is skipped"
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
touch "$work/wynik.csv" "$work/wyniki 2024.csv"
mkdir "$work/folder"

# Prints, one a line, what the completion offers for a command line whose last word is being
# completed (the line ends where the cursor is).
complete_line() {
  PATH="$build/bin:$PATH" bash --norc --noprofile -c '
    source "$1"
    source "$2"
    spec=$(complete -p orvel-zestawnik-cli) || exit 3
    function=$(sed -n "s/.*-F \([^ ]*\) .*/\1/p" <<<"$spec")
    COMP_LINE=$3
    COMP_POINT=${#COMP_LINE}
    eval "COMP_WORDS=($COMP_LINE)"
    [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    "$function" orvel-zestawnik-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort' _ "$loader" \
    "$src/packaging/orvel-zestawnik-cli.bash-completion" "$1"
}

expect() {
  local line=$1 expected=$2 actual
  actual=$(complete_line "$line") || fail "completing '$line' failed"
  [ "$actual" = "$(LC_ALL=C sort <<<"$expected")" ] ||
    fail "completing '$line' offers:
$actual
instead of:
$expected"
}

spec=$(bash --norc --noprofile -c 'source "$1"; source "$2"; complete -p orvel-zestawnik-cli' _ \
  "$loader" "$src/packaging/orvel-zestawnik-cli.bash-completion")
grep -q -- '-F _orvel_zestawnik_cli orvel-zestawnik-cli$' <<<"$spec" || fail "registered as: $spec"

c=orvel-zestawnik-cli
expect "$c " $'info\nlist\nparams\nrun'
expect "$c r" run
expect "$c --" $'--app-folder\n--help'
expect "$c run --enc" --encoding
expect "$c params x --d" $'--declare\n--defaults'
expect "$c run x --csv a.csv --encoding utf" $'utf-8\nutf-8-bom'
expect "$c run x --csv $work/wy" "$work/wynik.csv
$work/wyniki 2024.csv"
expect "$c --app-folder $work/f" "$work/folder"
# The sample reports beside the built runner, as "list" prints them.
expect "$c run Przykłady/S" $'Przykłady/Sprzedaż\\ w\\ okresie\nPrzykłady/Stany\\ magazynowe'
reports=$(PATH="$build/bin:$PATH" orvel-zestawnik-cli list | grep -vc '/$')
[ "$(complete_line "$c info " | wc -l)" = "$reports" ] || fail "info does not offer every report"
# After the report, only options.
expect "$c run Przykłady/Stany\\ magazynowe " ""
expect "$c list " ""
echo "completion checked"
