"""Reads an exported output folder back with Python's mailbox and email packages, icalendar and
vobject, and compares every exported item with the scenario it came from.
Prints one line per difference and exits 1 when there is any."""

import binascii
import email
import email.policy
import json
import mailbox
import pathlib
import re
import sys
from datetime import datetime, timezone

import check_calendar_contacts as calendar_contacts

QUOTED_FROM = re.compile(rb"^>(>*From )", re.MULTILINE)
problems = []


def problem(text):
    problems.append(text)


def text_of(value):
    if isinstance(value, dict):
        return value.get("text", "")
    return value if isinstance(value, str) else ""


def bytes_of(data):
    if isinstance(data, str):
        return data.encode("utf-8")
    chunk = binascii.unhexlify(data["hex"])
    return chunk * data.get("repeat", 1)


def mail_subject(subject):
    for character in "-?\u2014":
        subject = subject.replace(character, " ")
    return subject


def read_messages(root):
    messages = []
    for path in root.rglob("mail.mbox"):
        box = mailbox.mbox(str(path), create=False)
        for key in box.keys():
            raw = QUOTED_FROM.sub(rb"\1", box.get_bytes(key))
            messages.append((path.parent, email.message_from_bytes(raw, policy=email.policy.default)))
    return messages


# The older layout's tree ends 24 levels down; deeper folders are not listed, so not exported.
NOT_LISTED = {"Deep down at level 28"}


def visible_mail(item):
    subject = text_of(item["cells"].get("S70", ""))
    return (item.get("class") == "IPM.Note" and subject and "(hidden)" not in subject
            and subject not in NOT_LISTED)


def rtf_paragraphs(rtf):
    """The text paragraphs of a plain RTF document, its font and colour tables left out."""
    text, depth, skip_from = "", 0, None
    for token in re.findall(r"\\[a-z]+-?\d* ?|\\.|[{}]|[^\\{}]+", rtf):
        if token == "{":
            depth += 1
        elif token == "}":
            if skip_from == depth:
                skip_from = None
            depth -= 1
        elif skip_from is not None:
            continue
        elif token.startswith("\\"):
            if token.strip() in ("\\fonttbl", "\\colortbl"):
                skip_from = depth
            elif token.strip() == "\\par":
                text += "\n"
        else:
            text += token
    return [line.strip() for line in text.split("\n") if line.strip()]


def check_mail(item, messages):
    cells = item["cells"]
    subject = mail_subject(text_of(cells.get("S3d", "")) + text_of(cells["S70"]))
    matches = [m for _, m in messages if str(m.get("Subject", "")) == subject]
    if len(matches) != 1:
        problem(f"mail {subject!r}: {len(matches)} messages in the output")
        return
    message = matches[0]
    sender = text_of(cells.get("S4031", ""))
    if sender and sender not in str(message.get("From", "")):
        problem(f"mail {subject!r}: From {message.get('From')!r} lacks {sender}")
    if isinstance(cells.get("Te06"), str) and message["Date"]:
        expected = datetime.strptime(cells["Te06"], "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=timezone.utc)
        if message["Date"].datetime != expected:
            problem(f"mail {subject!r}: Date {message['Date']} is not {expected}")
    parts = list(message.iter_parts()) if message.is_multipart() else [message]
    body = parts[0].get_content() if parts else ""
    plain = text_of(cells.get("S1000", "")).strip()
    if plain and plain not in body.replace("\r\n", "\n"):
        problem(f"mail {subject!r}: body {body[:80]!r} lacks {plain[:40]!r}")
    # An HTML body kept as a long value comes out whole: every paragraph, as often as stored.
    html = text_of(cells.get("N1013", ""))
    if html and not plain:
        for paragraph in set(re.findall(r"<p>(.*?)</p>", html)):
            if body.count(paragraph) < html.count(f"<p>{paragraph}</p>"):
                problem(f"mail {subject!r}: the HTML body lacks paragraphs {paragraph[:40]!r}")
    # An RTF body, compressed or not, comes out as its text.
    rtf = cells.get("N1009", {})
    if isinstance(rtf, dict) and "rtf" in rtf and not plain and not html:
        for paragraph in rtf_paragraphs(rtf["rtf"]):
            if paragraph not in body:
                problem(f"mail {subject!r}: the RTF body lacks {paragraph!r}")
    attached = {p.get_filename(): p.get_payload(decode=True) for p in parts[1:]}
    for attachment in item.get("attachments", []):
        name = attachment["name"] or text_of(attachment.get("cells", {}).get("S3707", ""))
        if attached.get(name) != bytes_of(attachment["data"]):
            problem(f"mail {subject!r}: attachment {name!r} differs or is missing")


def check_folder(folder, out_folder, messages):
    items = folder.get("items", [])
    for item in items:
        if visible_mail(item):
            check_mail(item, messages)
    calendar_contacts.check_folder(folder, out_folder, problem)
    for sub in folder.get("folders", []):
        name = sub.get("name") or ""
        check_folder(sub, out_folder / name if name else out_folder / "Folder", messages)


def main(scenario_path, out):
    scenario = json.loads(pathlib.Path(scenario_path).read_text(encoding="utf-8"))
    root = pathlib.Path(out)
    messages = read_messages(root)
    for box in scenario.get("mailboxes", []):
        for folder in box["folders"]:
            check_folder(folder, root / box["name"].replace(",", "_") / folder["name"], messages)
    for folder in scenario.get("folders", []):
        check_folder(folder, root / "Public Folder" / folder["name"], messages)
    for line in problems:
        print(line)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
