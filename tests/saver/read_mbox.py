"""Reads an mbox written in mboxrd form with Python's own mailbox and email packages and prints
every message as JSON: headers decoded, text parts as text, attachments as base64."""

import base64
import email
import email.policy
import json
import mailbox
import re
import sys

QUOTED_FROM = re.compile(rb"^>(>*From )", re.MULTILINE)


def main(path):
    box = mailbox.mbox(path, create=False)
    messages = []
    for key in box.keys():
        raw = QUOTED_FROM.sub(rb"\1", box.get_bytes(key))
        message = email.message_from_bytes(raw, policy=email.policy.default)
        entry = {
            "envelope": box.get_message(key).get_from(),
            "from": str(message.get("From", "")),
            "to": [a.addr_spec for a in message["To"].addresses] if message["To"] else [],
            "to_names": [a.display_name for a in message["To"].addresses] if message["To"] else [],
            "cc": [a.addr_spec for a in message["Cc"].addresses] if message["Cc"] else [],
            "bcc": [a.addr_spec for a in message["Bcc"].addresses] if message["Bcc"] else [],
            "subject": str(message.get("Subject", "")),
            "date": message["Date"].datetime.isoformat() if message["Date"] else "",
            "parts": [],
            "attachments": [],
        }
        for part in message.walk():
            if part.is_multipart():
                continue
            if part.get_content_disposition() == "attachment":
                entry["attachments"].append({
                    "name": part.get_filename(),
                    "data": base64.b64encode(part.get_payload(decode=True)).decode("ascii"),
                })
            else:
                entry["parts"].append({"type": part.get_content_type(), "text": part.get_content()})
        messages.append(entry)
    json.dump(messages, sys.stdout, ensure_ascii=True)


if __name__ == "__main__":
    main(sys.argv[1])
