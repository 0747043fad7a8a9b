"""Reads an exported output folder back with Python's mailbox and email packages, icalendar and
vobject, and compares every exported item with the scenario it came from.
Prints one line per difference and exits 1 when there is any."""

import binascii
import email
import email.policy
import email.utils
import json
import mailbox
import pathlib
import re
import subprocess
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




def read_messages(root):
    """Every message of the output: those of each mbox and every .eml file. A message the
    parser finds a defect in is a problem of its own."""
    messages = []
    found = []
    for path in root.rglob("mail.mbox"):
        box = mailbox.mbox(str(path), create=False)
        for key in box.keys():
            found.append((path, QUOTED_FROM.sub(rb"\1", box.get_bytes(key))))
    for path in root.rglob("*.eml"):
        found.append((path, path.read_bytes()))
    for path, raw in found:
        message = email.message_from_bytes(raw, policy=email.policy.default)
        defects = [d for part in message.walk() for d in part.defects]
        for name in ("From", "To", "Cc", "Bcc", "Date", "Message-ID", "Subject"):
            if message[name] is not None:
                defects += list(message[name].defects)
        if defects:
            problem(f"{path}: {message['Subject']!r} has defects {defects}")
        messages.append((path.parent, message))
    return messages


TREE_LINE = re.compile(r"^(  +)(.*?)(?:  \[.*\] \d+ items?)?$")


def write_eml_files(tarvex, database, out):
    """`tarvex eml` for every item of every folder the tree shows, into out/<folder>/<n>.eml."""
    def run(*arguments):
        return subprocess.run([tarvex, *arguments], capture_output=True, text=True).stdout
    path = []
    for line in run("tree", "-q", database).splitlines()[1:]:
        match = TREE_LINE.match(line)
        if not match:
            continue
        depth = len(match.group(1)) // 2
        path = path[:depth - 1] + [match.group(2)]
        folder = "/".join(path)
        rows = run("list", "-q", database, folder).splitlines()[1:]
        for number in (str(position) for position in range(1, len(rows) + 1)):
            target = out / folder / (number + ".eml")
            target.parent.mkdir(parents=True, exist_ok=True)
            subprocess.run([tarvex, "eml", "-q", database, folder, number, "--out", str(target)],
                           capture_output=True)


# The older layout's tree ends 24 levels down; deeper folders are not listed, so not exported.
NOT_LISTED = {"Deep down at level 28"}


# Classes the export writes as something other than mail; every other class is mail.
NOT_MAIL = ("IPM.Appointment", "IPM.Contact", "IPM.DistList", "IPM.Task", "IPM.StickyNote",
            "IPM.Activity")
# Fields the exported message sets itself; every other delivered field comes back as stored.
OWN_FIELDS = {"from", "to", "cc", "bcc", "subject", "date", "message-id", "in-reply-to",
              "references", "mime-version"}


def visible_mail(item):
    subject = text_of(item["cells"].get("S70", ""))
    return (not item.get("class", "").startswith(NOT_MAIL) and subject
            and "(hidden)" not in subject and subject not in NOT_LISTED)


def header_fields(block):
    """The fields of a stored header block, unfolded, in order."""
    fields = []
    for line in block.replace("\r\n", "\n").split("\n"):
        if line[:1] in (" ", "\t") and fields:
            fields[-1][1] += " " + line.strip()
        elif ":" in line and " " not in line.split(":", 1)[0]:
            name, value = line.split(":", 1)
            fields.append([name, value.strip()])
    return fields


def addresses_of(header):
    return sorted((a.display_name, a.addr_spec) for a in header.addresses) if header else []


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
    subject = text_of(cells.get("S3d", "")) + text_of(cells["S70"])
    matches = [m for _, m in messages if str(m.get("Subject", "")) == subject]
    if len(matches) != 1:
        problem(f"mail {subject!r}: {len(matches)} messages in the output")
        return
    message = matches[0]
    defects = [d for part in message.walk() for d in part.defects]
    for name in ("From", "To", "Cc", "Bcc", "Date", "Message-ID", "In-Reply-To", "References"):
        if message[name] is not None:
            defects += list(message[name].defects)
    if defects:
        problem(f"mail {subject!r}: defects {defects}")
    stored = header_fields(text_of(cells.get("S7d", "")))
    stored_value = {name.lower(): value for name, value in reversed(stored)}
    # From: the sender's name and address; a sender without an address keeps its name.
    name, sender = text_of(cells.get("S42", "")), text_of(cells.get("S4031", ""))
    if sender:
        if addresses_of(message["From"]) != [(name, sender)]:
            problem(f"mail {subject!r}: From {message['From']!r} is not {name} <{sender}>")
    elif name and (not message["From"] or name not in [g.display_name for g in message["From"].groups]
                   and name not in [a.display_name for a in message["From"].addresses]):
        problem(f"mail {subject!r}: From {message['From']!r} lacks {name}")
    # The delivered lists, names and addresses alike.
    for field in ("To", "Cc", "Bcc"):
        if field.lower() in stored_value:
            expected = sorted(email.utils.getaddresses([stored_value[field.lower()]]))
            if addresses_of(message[field]) != expected:
                problem(f"mail {subject!r}: {field} {message[field]!r} is not {expected}")
    if isinstance(cells.get("Te06"), str):
        expected = datetime.strptime(cells["Te06"], "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=timezone.utc)
        if not message["Date"] or message["Date"].datetime != expected:
            problem(f"mail {subject!r}: Date {message['Date']} is not {expected}")
    message_id = text_of(cells.get("S1035", "")) or stored_value.get("message-id", "")
    if message_id and str(message["Message-ID"]) != "<" + message_id.strip("<>") + ">":
        problem(f"mail {subject!r}: Message-ID {message['Message-ID']} is not {message_id}")
    if not message_id and not re.fullmatch(r"<[^<>@\s]+@[^<>@\s]+>", str(message["Message-ID"])):
        problem(f"mail {subject!r}: no valid Message-ID ({message['Message-ID']})")
    for field, cell in (("In-Reply-To", "S1042"), ("References", "S1039")):
        value = text_of(cells.get(cell, "")) or stored_value.get(field.lower(), "")
        if value and str(message[field]) != value:
            problem(f"mail {subject!r}: {field} {message[field]} is not {value}")
    for field, value in stored:
        lower = field.lower()
        if lower in OWN_FIELDS or lower.startswith("content-"):
            continue
        if str(message[field]) != value:
            problem(f"mail {subject!r}: delivered {field} {message[field]!r} is not {value!r}")
    parts = list(message.iter_parts()) if message.is_multipart() else [message]
    if message.is_multipart() != bool(item.get("attachments")):
        problem(f"mail {subject!r}: multipart is {message.is_multipart()} for "
                f"{len(item.get('attachments', []))} attachments")
    body = parts[0].get_content().replace("\r\n", "\n") if parts else ""
    plain = text_of(cells.get("S1000", "")).strip()
    if plain and body.strip() != plain:
        problem(f"mail {subject!r}: body {body[:80]!r} is not {plain[:40]!r}")
    # An HTML body kept as a long value comes out whole: every paragraph, as often as stored.
    html = text_of(cells.get("N1013", ""))
    if html and not plain:
        if parts[0].get_content_type() != "text/html":
            problem(f"mail {subject!r}: the HTML body is {parts[0].get_content_type()}")
        for paragraph in set(re.findall(r"<p>(.*?)</p>", html)):
            if body.count(paragraph) < html.count(f"<p>{paragraph}</p>"):
                problem(f"mail {subject!r}: the HTML body lacks paragraphs {paragraph[:40]!r}")
    # An RTF body, compressed or not, comes out as its text, line for line.
    rtf = cells.get("N1009", {})
    if isinstance(rtf, dict) and "rtf" in rtf and not plain and not html:
        lines = [line.strip() for line in body.split("\n") if line.strip()]
        if lines != rtf_paragraphs(rtf["rtf"]) or parts[0].get_content_type() != "text/plain":
            problem(f"mail {subject!r}: the RTF body {lines} is not {rtf_paragraphs(rtf['rtf'])}")
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


def main(scenario_path, out, eml_from=None):
    """With eml_from (the tarvex program and a store), `tarvex eml` first writes every item of
    the store into out, and those messages are checked."""
    scenario = json.loads(pathlib.Path(scenario_path).read_text(encoding="utf-8"))
    root = pathlib.Path(out)
    if eml_from:
        write_eml_files(eml_from[0], eml_from[1], root)
    messages = read_messages(root)
    if eml_from:
        for box in scenario.get("mailboxes", []):
            for folder in box["folders"]:
                check_mail_folder(folder, messages)
        for folder in scenario.get("folders", []):
            check_mail_folder(folder, messages)
    else:
        for box in scenario.get("mailboxes", []):
            for folder in box["folders"]:
                check_folder(folder, root / box["name"].replace(",", "_") / folder["name"], messages)
        for folder in scenario.get("folders", []):
            check_folder(folder, root / "Public Folder" / folder["name"], messages)
    for line in problems:
        print(line)
    return 1 if problems else 0


def check_mail_folder(folder, messages):
    for item in folder.get("items", []):
        if visible_mail(item):
            check_mail(item, messages)
    for sub in folder.get("folders", []):
        check_mail_folder(sub, messages)


if __name__ == "__main__":
    if len(sys.argv) == 6 and sys.argv[3] == "--eml":
        sys.exit(main(sys.argv[1], sys.argv[2], (sys.argv[4], sys.argv[5])))
    sys.exit(main(sys.argv[1], sys.argv[2]))
