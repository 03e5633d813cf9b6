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

# ---- Every mailbox command against a temporary mailbox.
data=$work/data box=$work/data/Mailbox
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/share  # never the user's own
k() { "$kwolfunc" --data "$data" "$@"; }
hex() { printf %s "$1" | od -An -tx1 | tr -d ' \n' | tr a-f A-F; }
mails() { find "$box" -name '*.eml' | wc -l; }
mkdir -p "$box/Spam in" "$box/Ham in"
for i in 1 2 3; do
  printf 'From: win@prize.example\nSubject: cheap pills %s\n\nbuy cheap pills now, winner prize %s\n' $i $i >"$box/Spam in/s$i.eml"
  printf 'From: ann@example.org\nSubject: meeting %s\n\nlunch at noon with the team, agenda item %s\n' $i $i >"$box/Ham in/h$i.eml"
done
printf 'BEGIN:VCARD\r\nFN:Ann\r\nEMAIL:ann@example.org\r\nEND:VCARD\r\n' >"$work/ann.vcf"

expect_exit 4 "check before any training" k check
expect_exit 0 "train" k train --spam "Spam in" --ham "Ham in"
grep -q "registered 3 spam and 3 ham mails" "$work/out" || fail "train summary: $(cat "$work/out")"
[ "$(ls "$box/Kestrelwood" | wc -l)" -eq 3 ] && [ "$(ls "$box/Inbox" | wc -l)" -eq 3 ] || fail "train moved the mail elsewhere"
cp "$work/ann.vcf" "$box/Contacts/"
expect_exit 0 "check --recheck" k check --recheck
grep -q "^checked 3 mails" "$work/out" && grep -q "recheck counters: mails checked 3" "$work/out" ||
  fail "check summary: $(cat "$work/out")"
first=$(ls "$box/Inbox" | head -1)
expect_exit 0 "block" k block "Inbox/$first"
blocked=$(cat "$work/out")
case "$blocked" in "$box/Kestrelwood/"*) ;; *) fail "block left the mail at $blocked" ;; esac
expect_exit 0 "unblock" k unblock "$blocked"
[ "$(mails)" -eq 6 ] || fail "block and unblock lost or doubled a mail"
expect_exit 0 "create-folder" k create-folder
expect_exit 0 "folder-name" k folder-name "$(hex Mailbox/Inbox)"
[ "$(cat "$work/out")" = Inbox ] || fail "folder-name: $(cat "$work/out")"
expect_exit 0 "folder-path" k folder-path "$(hex "Mailbox/Spam in")"
[ "$(cat "$work/out")" = "Mailbox/Spam in/" ] || fail "folder-path: $(cat "$work/out")"
expect_exit 3 "folder-name of an unknown ID" k folder-name 00
expect_exit 0 "contacts --names" k contacts --names
[ "$(cat "$work/out")" = "$(printf 'ann@example.org\tAnn')" ] || fail "contacts: $(od -c "$work/out" | head -3)"
ln -s .. "$box/Inbox/loop"  # a linked directory is no folder: no endless walk
expect_exit 0 "profile" k profile
[ "$(cat "$work/out")" = Mailbox ] || fail "profile: $(cat "$work/out")"
expect_exit 0 "settings" k settings
grep -q 'Thresholds\\Filter = "50"' "$work/out" || fail "settings: $(head -3 "$work/out")"
# pick-folder: the Inbox is refused as spam folder with the component's box,
# any folder is accepted otherwise, and an empty answer cancels.
inbox=$(k pick-folder </dev/null 2>&1 | grep -E '^ *[0-9]+  Mailbox/Inbox$' | awk '{print $1}')
echo "$inbox" | k pick-folder --spam >"$work/out" 2>"$work/err"
grep -q "You can't choose your Inbox folder" "$work/err" && [ ! -s "$work/out" ] || fail "pick-folder --spam took the Inbox"
echo "$inbox" | k pick-folder >"$work/out" 2>/dev/null
[ "$(cat "$work/out")" = "$(hex Mailbox/Inbox)" ] || fail "pick-folder: $(cat "$work/out")"
expect_exit 3 "block of a file not in the mailbox" k block "$work/none.eml"
expect_exit 3 "check of a missing folder" k check --folder Nowhere
mkdir -p "$work/other/Mailbox" && : >"$work/other/Mailbox/Kestrelwood"  # a file where the spam folder goes
expect_exit 1 "create-folder that the disk refuses" "$kwolfunc" --data "$work/other" create-folder
grep -q "error reports in $work/other/reports" "$work/err" && [ -n "$(ls "$work/other/reports")" ] ||
  fail "the component's error reports were not kept: $(cat "$work/err")"
expect_exit 2 "train without folders" k train
expect_exit 2 "block without a file" k block
expect_exit 3 "a store that cannot be made" k --mailbox /proc/none profile
expect_exit 4 "check without bogofilter" env PATH=/nonexistent "$kwolfunc" --data "$data" check
grep -q "apt-get install bogofilter" "$work/err" || fail "no hint how to install bogofilter"

# ---- Hostile mail (cut off inside its headers, binary junk, empty, names
# with path separators, a huge header block): the check goes on past each
# one and no mail is lost.
mkdir -p "$work/jail/saved"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Kestrelwood\\Clients\\Outlook]\r\n"SaveTo"="%s"\r\n' \
  "$work/jail/saved" >"$data/hostile.reg"
head -c 60 "$sample" >"$box/Inbox/truncated.eml"
head -c 4096 /dev/urandom >"$box/Inbox/junk.eml"
: >"$box/Inbox/empty.eml"
printf 'From: a@example.org\nSubject: ..\\..\\x/y\\\\z:*?"<>|\nContent-Type: text/plain\n\nhi\n' >"$box/Inbox/separators.eml"
python3 -c "import sys; f=open(sys.argv[1],'w'); f.write('Subject: big\n' + ('X-Filler: ' + 'x'*70 + '\n')*650000 + '\nbody\n')" \
  "$box/Inbox/huge.eml"
expect_exit 0 "check of hostile mail" k --settings "$data/hostile.reg" check
[ "$(mails)" -eq 11 ] || fail "hostile mail: $(mails) mails in the mailbox, expected 11"
[ "$(ls "$work/jail")" = saved ] || fail "a copy was written outside the SaveTo folder"

[ "$failures" -eq 0 ] && echo "all host command checks passed"
exit "$failures"
