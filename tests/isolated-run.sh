#!/usr/bin/env bash
# Runs one test command with a home, settings, data, cache, runtime and
# temporary folder of its own, all removed when it ends, and sends every
# sanitizer report to a file there. A report of a child process (the virtual
# card, a local server) usually ends in a pipe the test never shows; here any
# report fails the test.
#   isolated-run.sh COMMAND [ARGS...]
set -u
# The long name stands for a CI runner's temporary folder: nothing may pass
# here only because the paths are short.
top=$(mktemp -d "${TMPDIR:-/tmp}/drvp-test-in-a-temporary-folder-as-long-as-a-runners.XXXXXX")
trap 'rm -rf "$top"' EXIT
trap 'exit 143' INT TERM HUP
for dir in home config data cache runtime tmp reports; do
  mkdir -m 700 "$top/$dir"
done
# Temporary files of the test and of every process it starts (card dumps
# hold the card's PIN) stay in here.
export HOME="$top/home" XDG_CONFIG_HOME="$top/config" XDG_DATA_HOME="$top/data" \
  XDG_CACHE_HOME="$top/cache" XDG_RUNTIME_DIR="$top/runtime" TMPDIR="$top/tmp"
reports="$top/reports/sanitizer"
for var in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS; do
  export "$var=${!var:+${!var}:}log_path=$reports"
done

"$@"
rc=$?
shopt -s nullglob
found=("$reports".*)
if [ ${#found[@]} -gt 0 ]; then
  for file in "${found[@]}"; do
    echo "=== sanitizer report of process ${file##*.} ===" >&2
    cat "$file" >&2
  done
  [ $rc -eq 0 ] && rc=1
fi
exit $rc
