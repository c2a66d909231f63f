#!/usr/bin/python3
"""Prints, as JSON, what the test SMTP server received in a folder, read with Python's own MIME
parser: for each message its envelope, decoded headers, the text body decoded with its declared
character set (and those bytes in hex), and each attachment's name, type, size and SHA-256."""
import email
import email.policy
import hashlib
import json
import os
import sys


def summarize(base):
    with open(base + ".json") as f:
        envelope = json.load(f)
    with open(base + ".eml", "rb") as f:
        raw = f.read()
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    out = {
        "mail_from": envelope["mail_from"],
        "rcpt_tos": envelope["rcpt_tos"],
        "login": envelope.get("login"),
        "mechanism": envelope.get("mechanism"),
        "from": str(msg["From"]),
        "from_name": msg["From"].addresses[0].display_name if msg["From"] else None,
        "to": [a.addr_spec for a in msg["To"].addresses] if msg["To"] else [],
        "to_names": [a.display_name for a in msg["To"].addresses] if msg["To"] else [],
        "subject": str(msg["Subject"]),
        "date": str(msg["Date"]),
        "message_id": str(msg["Message-ID"]),
        "mime_version": str(msg["MIME-Version"]),
        "defects": [type(d).__name__ for part in msg.walk() for d in part.defects],
        "max_line": max(len(line) for line in raw.split(b"\r\n")),
        "bare_lf": b"\n" in raw.replace(b"\r\n", b""),
        "attachments": [],
    }
    for part in msg.walk():
        if part.is_multipart():
            continue
        if part.get_content_disposition() == "attachment":
            data = part.get_payload(decode=True)
            out["attachments"].append({"name": part.get_filename(), "type": part.get_content_type(),
                                       "size": len(data), "sha256": hashlib.sha256(data).hexdigest()})
        elif part.get_content_type() == "text/plain" and "body" not in out:
            data = part.get_payload(decode=True)
            out["charset"] = part.get_content_charset()
            out["transfer_encoding"] = part["Content-Transfer-Encoding"]
            out["body_hex"] = data.hex()
            out["body"] = data.decode(part.get_content_charset()).replace("\r\n", "\n")
    return out


def main():
    folder = sys.argv[1]
    names = sorted((n[:-4] for n in os.listdir(folder) if n.endswith(".eml")), key=int)
    print(json.dumps([summarize(os.path.join(folder, n)) for n in names]))


if __name__ == "__main__":
    main()
