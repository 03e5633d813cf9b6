#!/usr/bin/env bash
# Kills kwolfunc with SIGKILL at random moments while BlockMail moves a
# folder of mail into the spam folder, again and again: after every kill each
# mail is in exactly one place, whole.
set -uo pipefail
kwolfunc=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/share
box=$work/data/Mailbox
mkdir -p "$box/Batch"
for i in $(seq 1 300); do
  printf 'From: a@example.org\nSubject: mail %s\n\nbody of mail %s\n' "$i" "$i" >"$box/Batch/$i.eml"
done
contents() { find "$box" -name '*.eml' -exec cat {} + | sort | md5sum; }
want=$(contents) failures=0
for round in $(seq 1 8); do
  "$kwolfunc" --data "$work/data" train --spam Batch >/dev/null 2>&1 &
  sleep "0.0$((RANDOM % 10))$((RANDOM % 10))"
  kill -9 $! 2>/dev/null
  wait $! 2>/dev/null
  n=$(find "$box" -name '*.eml' | wc -l)
  [ "$n" -eq 300 ] || { echo "FAIL: round $round left $n mail files, expected 300"; failures=$((failures + 1)); }
  [ "$(contents)" = "$want" ] || { echo "FAIL: round $round changed the mail"; failures=$((failures + 1)); }
done
left=$(find "$box/Batch" -name '*.eml' | wc -l)
[ "$failures" -eq 0 ] && echo "8 kills, every mail in one place ($left still to move)"
exit "$failures"
