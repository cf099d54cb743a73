#!/bin/sh
# Runs one test process with application-data and temporary folders of its own,
# so the program's log (created during static initialisation) and work folders
# never touch the machine's real ones and parallel test processes never share a file.
dir=$(mktemp -d "${TMPDIR:-/tmp}/halvex-test.XXXXXX") || exit 1
ProgramData="$dir/appdata" TEMP="$dir/temp" HALVEX_TEST_TMP="$dir" "$@"
rc=$?
rm -rf "$dir"
exit $rc
