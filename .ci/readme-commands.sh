#!/usr/bin/env bash
# The README's first two commands, as a new user types them: in a clean
# clone of the committed tree, in the order the README gives them, each
# bounded in time. The commands are read out of the README's first shell
# block, so that the README and this check cannot drift apart.
#
# The demo must print one row per gate of host/demo.gates, in the file's
# order: a read gate's row ends in its result, "0 done" against the built-in
# simulator; a text gate's row in the text it holds; the trigger's row in the
# note on what writing to it does. The report fetch must be reported.
#
#   bash .ci/readme-commands.sh [KEEP_DIR]
#
# With KEEP_DIR the clone is left there (its build/ holds what the test
# command built); without, it goes in a temporary folder that is removed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# The first ```sh block, without comments and empty lines.
mapfile -t commands < <(awk '/^```sh$/ {on=1; next} on && /^```/ {exit} on' README.md |
  sed -E 's/[[:space:]]+#.*$//; s/^#.*$//' | sed '/^[[:space:]]*$/d')
if [ ${#commands[@]} -ne 2 ] || [[ "${commands[0]}" != *demo* ]]; then
  echo "readme-commands: the README's first shell block should hold the demo command, then the tests':"
  printf '  %s\n' "${commands[@]}"
  exit 1
fi

if [ $# -ge 1 ]; then
  clone=$1
  rm -rf "$clone"
  cleanup() { :; }
else
  work=$(mktemp -d /tmp/kovrin-readme.XXXXXX)
  clone=$work/clone
  cleanup() { rm -rf "$work"; }
fi
trap cleanup EXIT
git clone -q --no-hardlinks "$root" "$clone"
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "readme-commands: the work tree has uncommitted changes; the clone holds only what is committed"
fi

# The demo may install packages and build on a fresh machine; the tests
# build everything and run the whole suite.
limits=(1800 3600)
out=$clone.demo.txt
for i in 0 1; do
  echo "== README command $((i + 1)): ${commands[$i]} (at most ${limits[$i]} s)"
  started=$SECONDS
  status=0
  if [ "$i" -eq 0 ]; then
    (cd "$clone" && timeout "${limits[$i]}" bash -c "${commands[$i]}" </dev/null >"$out" 2>&1) || status=$?
    cat "$out"
  else
    (cd "$clone" && timeout "${limits[$i]}" bash -c "${commands[$i]}" </dev/null) || status=$?
  fi
  echo "== '${commands[$i]}' exited $status after $((SECONDS - started)) s"
  [ $status -eq 0 ] || exit 1

  if [ "$i" -eq 0 ]; then
    # The gates of the file, in order: address and type.
    mapfile -t gates < <(sed -E 's/#.*$//' host/demo.gates | awk 'NF {print $1, $2}')
    grep -q '^report 1 fetched' "$out" || { echo "readme-commands: the demo fetched no report"; exit 1; }
    rows=$(sed -n '/^  #  address/,$p' "$out" | tail -n +2 | grep -E '^ *[0-9]+  ' || true)
    if [ "$(printf '%s\n' "$rows" | grep -c .)" -ne ${#gates[@]} ]; then
      echo "readme-commands: the demo printed $(printf '%s\n' "$rows" | grep -c .) rows for ${#gates[@]} gates"
      exit 1
    fi
    n=0
    while IFS= read -r row; do
      read -r address type <<<"${gates[$n]}"
      n=$((n + 1))
      case "$type" in
        text) tail='"(\.\.\.\([0-9]+ chars\))?' ;;
        trigger) tail='\(write a report number to fetch\)' ;;
        *) tail='[[:space:]]0 done' ;;
      esac
      if ! grep -qE "^ *$n  $address +$type .*$tail\$" <<<"$row"; then
        echo "readme-commands: row $n of the demo does not end as a $type gate's row ($address):"
        echo "  $row"
        exit 1
      fi
    done <<<"$rows"
    echo "readme-commands: the demo printed a row for each of the ${#gates[@]} gates of host/demo.gates"
  fi
done
echo "readme-commands: both README commands ran in a clean clone"
