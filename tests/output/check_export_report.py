"""Checks an export's output folder against the report the export left in it: the totals add
up, every skipped item says why, every written file exists, and every mail message stored in
the folder's mail format (mbox, maildir or eml) parses with Python's mailbox and email packages
(default policy, no defects) and is a written mail item of the report, each exactly once.
Prints one line per problem and exits 1 when there is any."""

import collections
import email
import email.policy
import json
import mailbox
import pathlib
import re
import sys

QUOTED_FROM = re.compile(rb"^>(>*From )", re.MULTILINE)
root = pathlib.Path(sys.argv[1])
mail_format = sys.argv[2]
problems = []


def subject_key(subject):
    # The saver's Subject may still have "-", "?" and em dashes made blanks.
    for character in "-?\u2014":
        subject = subject.replace(character, " ")
    return " ".join(subject.split())


def parse(raw, where):
    message = email.message_from_bytes(raw, policy=email.policy.default)
    for part in message.walk():
        if part.defects:
            problems.append(f"{where}: defects {part.defects}")
    return subject_key(str(message.get("Subject", "")))


def stored_messages():
    """(file below root, subject) of every message stored in the folder."""
    found = []
    if mail_format == "mbox":
        for path in root.rglob("mail.mbox"):
            for raw in mailbox.mbox(str(path), create=False).itervalues():
                raw = QUOTED_FROM.sub(rb"\1", raw.as_bytes())
                found.append((str(path.relative_to(root)), parse(raw, path)))
    elif mail_format == "maildir":
        for cur in root.rglob("cur"):
            folder = cur.parent
            if folder.parent != root and not folder.name.startswith("."):
                continue  # a mailbox's own root Maildir, or a Maildir++ folder ".A.B"
            if folder.name.startswith(".") and not (folder / "maildirfolder").exists():
                problems.append(f"{folder}: no maildirfolder file")
            box = mailbox.Maildir(str(folder), factory=None, create=False)
            messages = [box.get_bytes(key) for key in box.keys()]
            files = sorted(cur.iterdir()) + sorted((folder / "new").iterdir())
            if len(messages) != len(files):
                problems.append(f"{folder}: Maildir reads {len(messages)} of {len(files)} files")
            for path in files:
                found.append((str(path.relative_to(root)), parse(path.read_bytes(), path)))
            if any(folder.glob("tmp/*")):
                problems.append(f"{folder}: a message left in tmp/")
    else:
        for path in root.rglob("*.eml"):
            found.append((str(path.relative_to(root)), parse(path.read_bytes(), path)))
    return found


report = json.loads((root / "tarvex-export.json").read_text(encoding="utf-8"))
items = report["items"]
totals = report["totals"]
written = [item for item in items if item["result"] == "written"]
skipped = [item for item in items if item["result"] == "skipped"]
if totals["items"] != len(items) or totals["written"] != len(written) or \
        totals["skipped"] != len(skipped) or len(written) + len(skipped) != len(items):
    problems.append(f"totals {totals} do not add up over {len(items)} items")
if sum(totals["skipped_by_reason"].values()) != len(skipped):
    problems.append("skipped_by_reason does not add up")
for item in skipped:
    if not item.get("reason"):
        problems.append(f"skipped without a reason: {item}")
for item in written:
    if not (root / item["file"]).is_file():
        problems.append(f"written file missing: {item}")
    if item["file"] not in report["files"]:
        problems.append(f"written file not listed in files: {item['file']}")
if report["export"]["mail_format"] != mail_format:
    problems.append(f"report says format {report['export']['mail_format']}")

stored = stored_messages()
mail_files = {file for file, _ in stored}
written_mail = [item for item in written if item["file"] in mail_files or
                item["file"].endswith("mail.mbox")]
if collections.Counter(subject for _, subject in stored) != \
        collections.Counter(subject_key(item["subject"]) for item in written_mail):
    problems.append("the stored messages are not the written mail items once each: "
                    f"{sorted(s for _, s in stored)} against "
                    f"{sorted(subject_key(i['subject']) for i in written_mail)}")
if mail_format != "mbox":
    files = [item["file"] for item in written_mail]
    if len(set(files)) != len(files) or set(files) != mail_files:
        problems.append("each message is not in a file of its own named by the report")
if not stored:
    problems.append("no mail message stored")

for line in problems:
    print(line)
sys.exit(1 if problems else 0)
