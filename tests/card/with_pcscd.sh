#!/usr/bin/env bash
# with_pcscd.sh READER_DIR LOG COMMAND...: runs COMMAND while a pcscd of its own serves the
# readers configured in READER_DIR (a reader.conf.d directory), then stops that pcscd by its
# PID, whatever COMMAND did. Exits with COMMAND's status.
set -u
readers=$(cd "$1" && pwd) log=$2
shift 2
# One pcscd and one reader port per machine: runs from other build trees take turns.
exec 9>/tmp/quillon_card_tests.lock
flock -w 540 9 || { echo "with_pcscd: another card test run holds the machine's pcscd" >&2; exit 1; }
running=$(tr -dc "0-9" 2>/dev/null </run/pcscd/pcscd.pid)
if [ -n "$running" ] && kill -0 "$running" 2>/dev/null; then
    echo "with_pcscd: a pcscd is already running (PID $running); stop it to run the card tests" >&2
    exit 1
fi

pcscd --foreground --info --config "$readers" >"$log" 2>&1 &
pid=$!
stop() {
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}
trap stop EXIT
trap 'exit 130' INT TERM

for _ in $(seq 100); do
    grep -q "daemon ready" "$log" && break
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "with_pcscd: pcscd did not start:" >&2
        cat "$log" >&2
        exit 1
    fi
    sleep 0.1
done
grep -q "daemon ready" "$log" || { echo "with_pcscd: pcscd not ready after 10 s" >&2; exit 1; }

"$@"
