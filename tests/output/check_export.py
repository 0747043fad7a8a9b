"""Reads an exported output folder back with Python's mailbox and email packages and plain
iCalendar/vCard parsing, and compares every exported item with the scenario it came from.
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


def stamp(iso):
    moment = datetime.strptime(iso, "%Y-%m-%dT%H:%M:%SZ")
    return moment.strftime("%Y%m%dT%H%M%SZ")


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


def unfold(text):
    return re.sub(r"\r?\n[ \t]", "", text).splitlines()


def unescape(value):
    return re.sub(r"\\([\\,;nN])", lambda m: "\n" if m.group(1) in "nN" else m.group(1), value)


def components(path, name):
    found, current = [], None
    for line in unfold(path.read_text(encoding="utf-8")):
        if line == "BEGIN:" + name:
            current = {}
        elif line == "END:" + name and current is not None:
            found.append(current)
            current = None
        elif current is not None and ":" in line:
            key, value = line.split(":", 1)
            current.setdefault(key.split(";")[0], unescape(value))
    return found


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


def entry_named(entries, key, value):
    for entry in entries:
        if entry.get(key) == value:
            return entry
    return {}


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
    appointments = [i for i in items if i.get("class") == "IPM.Appointment"]
    if appointments:
        events = components(out_folder / "calendar.ics", "VEVENT")
        if len(events) != len(appointments):
            problem(f"{out_folder}: {len(events)} events for {len(appointments)} appointments")
        for item in appointments:
            cells = item["cells"]
            summary = text_of(cells.get("S70") or cells.get("Se1d", ""))
            event = entry_named(events, "SUMMARY", summary)
            expected = {"SUMMARY": summary,
                        "LOCATION": text_of(cells.get("S810c", "")),
                        "DESCRIPTION": text_of(cells.get("S1000", ""))}
            start = cells.get("T818f") or cells.get("T60")
            if start:
                expected["DTSTART"] = stamp(start)
            for key, value in expected.items():
                if value and event.get(key) != value:
                    problem(f"event {expected['SUMMARY']!r}: {key} {event.get(key)!r} is not {value!r}")
    contacts = [i for i in items if i.get("class") == "IPM.Contact"]
    if contacts:
        cards = components(out_folder / "contacts.vcf", "VCARD")
        if len(cards) != len(contacts):
            problem(f"{out_folder}: {len(cards)} cards for {len(contacts)} contacts")
        for item in contacts:
            cells = item["cells"]
            card = entry_named(cards, "FN", text_of(cells.get("S3001", "")))
            expected = {"FN": text_of(cells.get("S3001", "")), "NOTE": text_of(cells.get("S1000", "")),
                        "TITLE": text_of(cells.get("S3a17", ""))}
            for key, value in expected.items():
                if value and card.get(key) != value:
                    problem(f"card {expected['FN']!r}: {key} {card.get(key)!r} is not {value!r}")
    for kind, file_name, component in (("IPM.Task", "tasks.ics", "VTODO"),
                                       ("IPM.StickyNote", "notes.ics", "VJOURNAL")):
        wanted = [i for i in items if i.get("class", "").startswith(kind)]
        if not wanted:
            continue
        found = components(out_folder / file_name, component)
        if len(found) != len(wanted):
            problem(f"{out_folder}: {len(found)} {component} for {len(wanted)} items")
        for item in wanted:
            cells = item["cells"]
            entry = entry_named(found, "SUMMARY", text_of(cells.get("Se1d", "")))
            expected = {"SUMMARY": text_of(cells.get("Se1d", "")),
                        "DESCRIPTION": text_of(cells.get("S1000", ""))}
            if "T8198" in cells and kind == "IPM.Task":
                expected["DUE"] = stamp(cells["T8198"])
            for key, value in expected.items():
                if value and entry.get(key) != value:
                    problem(f"{component} {expected['SUMMARY']!r}: {key} {entry.get(key)!r} is not {value!r}")
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
