#!/usr/bin/env python3
"""Holds `kwolfunc assemble` against Python's own email parse of real mails:
every header the mail has is passed on in order except the content headers,
which become one Content-Type naming the chosen body, and the body is the
decoded HTML part when there is one, else the decoded text part."""
import email
import glob
import re
import subprocess
import sys
from email import policy

kwolfunc, corpus, step = sys.argv[1], sys.argv[2], int(sys.argv[3])
files = sorted(glob.glob(f"{corpus}/package/data/*/*.txt"))[::step]
dropped = {"content-type", "content-transfer-encoding"}
header_line = re.compile(r"[!-9;-~]+:")
# A byte the declared charset cannot have is replaced by each parser in its
# own way (Python: U+FFFD); the words around it must agree.
words = lambda text: " ".join(text.replace("\ufffd", " ").split())
failures = []
for path in files:
    raw = open(path, "rb").read()
    run = subprocess.run([kwolfunc, "assemble", path], capture_output=True)
    if run.returncode != 0:
        failures.append(f"{path}: exit {run.returncode}")
        continue
    out = run.stdout.decode("utf-8")
    head, _, body = out.partition("\r\n\r\n")
    message = email.message_from_bytes(raw, policy=policy.compat32)
    names = [n.lower() for n in message.keys() if n.lower() not in dropped]
    # The component trims folded lines, so a continuation may start at the
    # margin: only "name:" lines with a name of header characters count, and
    # the mail's headers must appear among them in their order.
    got = [line.split(":", 1)[0].lower() for line in head.split("\r\n")
           if header_line.match(line) and not line.lower().startswith("content-type:")
           and not line.lower().startswith("x-kestrelwood-signature:")]
    rest = iter(got)
    if not all(name in rest for name in names):
        failures.append(f"{path}: header names differ")
        continue
    parsed = email.message_from_bytes(raw, policy=policy.default)
    try:
        choices = [p.get_content() for p in (parsed.get_body(("html",)), parsed.get_body(("plain",))) if p]
    except (LookupError, KeyError, ValueError):
        choices = []  # a charset or structure Python refuses: nothing to hold against
    if choices and not any(words(c)[:200] in words(body) for c in choices):
        failures.append(f"{path}: body differs")
print(f"{len(files) - len(failures)} of {len(files)} mails agree")
for line in failures[:20]:
    print(line)
sys.exit(1 if failures else 0)
