#!/usr/bin/env python3
"""Reads a message file with Python's email package and prints what a mail program would see,
as JSON: the decoded headers, the parsed addresses, the body text and every attachment."""

import email
import json
import sys
from email import policy
from email.header import decode_header, make_header


def decoded(raw):
    unfolded = raw.replace("\r\n", "").replace("\n", "")
    return str(make_header(decode_header(unfolded)))


def addresses(message, name):
    try:
        header = message[name]
        if header is None:
            return None
        return [[a.display_name, a.addr_spec] for a in header.addresses]
    except Exception as error:  # a parser failure is a result the test looks at
        return "error: %s" % error


def main():
    with open(sys.argv[1], "rb") as source:
        message = email.message_from_binary_file(source, policy=policy.default)
    result = {
        "headers": [[name, decoded(value)] for name, value in message.raw_items()],
        "addresses": {name: addresses(message, name) for name in ("From", "To", "Cc", "Bcc")},
        "content_type": message.get_content_type(),
        "body": None,
        "body_type": None,
        "attachments": [],
        "parts": 0,
        # Every defect the parser found, in the message, its parts or an address header.
        "defects": [str(d) for part in message.walk() for d in part.defects] +
                   [str(d) for name in ("From", "To", "Cc", "Bcc", "Reply-To", "Date", "Message-ID")
                    if message[name] is not None for d in message[name].defects],
    }
    if message.is_multipart():
        parts = list(message.iter_parts())
        result["parts"] = len(parts)
        for part in parts:
            if part.get_content_disposition() == "attachment":
                result["attachments"].append({
                    "filename": part.get_filename(),
                    "content_type": part.get_content_type(),
                    "data": part.get_payload(decode=True).hex(),
                })
            elif result["body"] is None:
                result["body_type"] = part.get_content_type()
                result["body"] = part.get_content()
    else:
        result["body_type"] = message.get_content_type()
        result["body"] = message.get_content()
    json.dump(result, sys.stdout, ensure_ascii=True)


if __name__ == "__main__":
    main()
