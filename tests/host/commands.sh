#!/usr/bin/env bash
# Runs the built kwolfunc program: its output, exit codes and one-line errors,
# and that hostile input ends in a defined exit rather than a crash.
set -uo pipefail
kwolfunc=$1 sample=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

expect_exit() {  # expected-code description command...
  local want=$1 what=$2; shift 2
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  [ "$got" -eq "$want" ] || fail "$what: exit $got, expected $want ($(head -c 200 "$work/err"))"
  if [ "$want" -ne 0 ]; then
    [ "$(wc -l <"$work/err")" -eq 1 ] || fail "$what: error is not one line"
  fi
}

# The assembled text: the mail's own headers, the decoded text part with its
# charset turned into UTF-8, and CR LF line ends throughout the header block.
expect_exit 0 "assemble" "$kwolfunc" assemble "$sample"
grep -q $'^From: a@example.org\r$' "$work/out" || fail "assemble lost the From header"
grep -q 'Café deals' "$work/out" || fail "assemble did not decode the quoted-printable Latin-1 body"
python3 - "$sample" "$work/out" <<'PY' || fail "assemble body differs from Python's parse"
import email, sys
from email import policy
msg = email.message_from_bytes(open(sys.argv[1], 'rb').read(), policy=policy.default)
body = msg.get_body(('plain',)).get_content().rstrip('\r\n')
out = open(sys.argv[2], 'rb').read().decode('utf-8')
sys.exit(0 if out.split('\r\n\r\n', 1)[1].rstrip('\r\n') == body else 1)
PY

# rewrite-header: the component's rewrite of a header block, CR LF kept,
# Content-Type replaced, Content-Transfer-Encoding and its folded line dropped,
# non-ASCII text kept.
printf 'Subject: Grüße \r\nContent-Transfer-Encoding: base64\r\n x\r\nContent-Type: text/html\r\n\r\nbody' >"$work/h"
"$kwolfunc" rewrite-header --type text/html <"$work/h" >"$work/out" || fail "rewrite-header exit $?"
printf 'Subject: Grüße\r\nContent-Type: text/html; charset="utf-8"\r\n' | cmp -s - "$work/out" ||
  fail "rewrite-header output: $(od -c "$work/out" | head -5)"
expect_exit 2 "rewrite-header with another type" "$kwolfunc" rewrite-header --type image/png

expect_exit 2 "no command" "$kwolfunc"
expect_exit 2 "unknown command" "$kwolfunc" frobnicate
expect_exit 2 "assemble without a file" "$kwolfunc" assemble
expect_exit 3 "assemble of a missing file" "$kwolfunc" assemble "$work/none.eml"

# Hostile input: a mail cut off inside its headers, binary junk, an empty
# file. Each either assembles or is refused, never a crash.
head -c 60 "$sample" >"$work/truncated.eml"
head -c 4096 /dev/urandom >"$work/junk.eml"
: >"$work/empty.eml"
for f in truncated junk empty; do
  "$kwolfunc" assemble "$work/$f.eml" >/dev/null 2>"$work/err"
  rc=$?
  [ "$rc" -eq 0 ] || [ "$rc" -eq 3 ] || fail "$f mail: exit $rc"
done

[ "$failures" -eq 0 ] && echo "all host command checks passed"
exit "$failures"
