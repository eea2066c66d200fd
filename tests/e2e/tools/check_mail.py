"""Reads one stored message back with Python's email package and compares it
with what was sent. Usage: check_mail.py MESSAGE.eml EXPECTED.json
EXPECTED: from, to, cc (addresses), subject, body (text), envelope (rcpt list),
optionally names (display names of From and To).
Prints one line per mismatch; exit code 1 when there is any."""
import email
import email.policy
import email.utils
import json
import os
import sys

raw = open(sys.argv[1], "rb").read()
want = json.load(open(sys.argv[2], encoding="utf-8"))
envelope = json.load(open(os.path.splitext(sys.argv[1])[0] + ".json"))
msg = email.message_from_bytes(raw, policy=email.policy.default)
problems = []


def expect(what, got, wanted):
    if got != wanted:
        problems.append("%s: got %r, want %r" % (what, got, wanted))


def addresses(header):
    return [a for _, a in email.utils.getaddresses(msg.get_all(header, []))]


def names(header):
    return [msg[header].addresses[i].display_name for i in range(len(msg[header].addresses))]


expect("bare LF in the message", b"\n" in raw.replace(b"\r\n", b""), False)
expect("From", addresses("From"), [want["from"]])
expect("To", addresses("To"), want["to"])
expect("Cc", addresses("Cc"), want["cc"])
if "names" in want:
    expect("display names", names("From") + names("To"), want["names"])
expect("Subject", str(msg["Subject"]), want["subject"])
expect("MIME-Version", msg["MIME-Version"], "1.0")
expect("content type", msg.get_content_type(), "text/plain")
expect("charset", msg.get_content_charset(), "utf-8")
expect("body bytes", msg.get_payload(decode=True), want["body"].encode("utf-8"))
expect("envelope recipients", envelope["rcpt_tos"], want["envelope"])
expect("envelope sender", envelope["mail_from"], want["from"])
date = msg["Date"]
expect("Date with an offset", date is not None and date.datetime.utcoffset() is not None, True)
expect("Message-ID present", bool(msg["Message-ID"]) and "@" in msg["Message-ID"], True)
for p in problems:
    print("mismatch:", p)
sys.exit(1 if problems else 0)
