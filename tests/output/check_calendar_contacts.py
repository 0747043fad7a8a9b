"""The calendar and address book part of the export check: every .ics and .vcf of an exported
folder is parsed with icalendar and vobject, and each appointment, task, note, journal item,
contact and distribution list of the scenario folder is compared with its entry. Runs under
Debian's /usr/bin/python3, which has python3-icalendar and python3-vobject."""

import base64
import binascii
import re
from datetime import datetime, timezone

import icalendar
import vobject

ADDRESS = re.compile(r"[\w.+-]+@[\w-]+(?:\.[\w-]+)+")
# Every UID of one export: no two entries may share one.
seen_uids = {}


def text_of(value):
    if isinstance(value, dict):
        return value.get("text", "")
    return value if isinstance(value, str) else ""


def bytes_of(data):
    if isinstance(data, str):
        return data.encode("utf-8")
    return binascii.unhexlify(data["hex"]) * data.get("repeat", 1)


def moment(iso):
    return datetime.strptime(iso, "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=timezone.utc)


def first_cell(cells, *names):
    for name in names:
        if cells.get(name) not in (None, ""):
            return cells[name]
    return None


def check_lines(path, raw, problem):
    """CR LF after every line, at most 75 octets each, folds never inside a character."""
    if not raw.endswith(b"\r\n") or raw.count(b"\n") != raw.count(b"\r\n"):
        problem(f"{path}: a line does not end with CR LF")
    for line in raw.split(b"\r\n"):
        if len(line) > 75:
            problem(f"{path}: a line of {len(line)} octets: {line[:40]!r}")
        try:
            line.decode("utf-8")
        except UnicodeDecodeError:
            problem(f"{path}: a fold splits a character: {line[:40]!r}")


def note_uid(path, uid, problem):
    if not uid:
        problem(f"{path}: an entry without UID")
    elif uid in seen_uids and seen_uids[uid] != path:
        problem(f"{path}: UID {uid} is also in {seen_uids[uid]}")
    elif uid in seen_uids:
        problem(f"{path}: UID {uid} twice")
    seen_uids.setdefault(uid, path)


def read_calendar(path, component, problem):
    """The components of one kind in the file, each as a dict of plain values."""
    if not path.exists():
        return []
    raw = path.read_bytes()
    check_lines(path, raw, problem)
    try:
        calendar = icalendar.Calendar.from_ical(raw)
    except ValueError as error:
        problem(f"{path}: icalendar cannot parse it: {error}")
        return []
    entries = []
    for part in calendar.walk():
        if part.errors:
            problem(f"{path}: {part.name} has errors {part.errors}")
        if part.name != component:
            continue
        entry = {}
        for key in ("SUMMARY", "LOCATION", "DESCRIPTION", "STATUS", "UID"):
            if key in part:
                entry[key] = str(part[key])
        for key in ("DTSTART", "DTEND", "DUE", "COMPLETED"):
            if key in part:
                entry[key] = part.decoded(key)
        attendees = part.get("ATTENDEE", [])
        entry["ATTENDEE"] = sorted(str(a).lower() for a in
                                   (attendees if isinstance(attendees, list) else [attendees]))
        attachments = part.get("ATTACH", [])
        for value in attachments if isinstance(attachments, list) else [attachments]:
            if value.params.get("ENCODING") == "BASE64":
                data = base64.b64decode(str(value))
                entry.setdefault("ATTACH", {})[value.params.get("X-FILENAME")] = data
        categories = part.get("CATEGORIES", [])
        for value in categories if isinstance(categories, list) else [categories]:
            entry.setdefault("CATEGORIES", []).extend(str(c) for c in value.cats)
        note_uid(path, entry.get("UID"), problem)
        entries.append(entry)
    return entries


def read_cards(path, problem):
    if not path.exists():
        return []
    raw = path.read_bytes()
    check_lines(path, raw, problem)
    cards = []
    try:
        for card in vobject.readComponents(raw.decode("utf-8")):
            cards.append(card)
            uid = card.contents.get("uid", [None])[0]
            note_uid(path, uid.value if uid else None, problem)
    except (vobject.base.ParseError, UnicodeDecodeError) as error:
        problem(f"{path}: vobject cannot parse it: {error}")
    return cards


def values(card, name):
    return [line.value for line in card.contents.get(name, [])]


def one_value(card, name):
    found = values(card, name)
    return found[0] if found else ""


def named(entries, key, value):
    matches = [e for e in entries if e.get(key) == value]
    return matches[0] if len(matches) == 1 else None


def compare(what, entry, expected, problem):
    for key, value in expected.items():
        if value not in (None, "", []) and entry.get(key) != value:
            problem(f"{what}: {key} {entry.get(key)!r} is not {value!r}")


def check_attachments(what, item, entry, problem):
    for attachment in item.get("attachments", []):
        name = attachment["name"]
        if entry.get("ATTACH", {}).get(name) != bytes_of(attachment["data"]):
            problem(f"{what}: attachment {name!r} differs or is missing")


def check_appointment(item, events, problem):
    cells = item["cells"]
    summary = text_of(cells.get("S70") or cells.get("Se1d", ""))
    event = named(events, "SUMMARY", summary)
    if event is None:
        problem(f"event {summary!r}: not in the calendar exactly once")
        return
    start = first_cell(cells, "T818f", "T60", "T8040")
    end = first_cell(cells, "T814d", "T61", "T8041")
    compare(f"event {summary!r}", event, {
        "LOCATION": text_of(first_cell(cells, "S810c", "S8049") or ""),
        "DESCRIPTION": text_of(cells.get("S1000", "")),
        "DTSTART": moment(start) if start else None,
        "DTEND": moment(end) if end else None,
        "ATTENDEE": sorted("mailto:" + a.lower() for a in ADDRESS.findall(cells.get("N67b4", ""))),
    }, problem)
    check_attachments(f"event {summary!r}", item, event, problem)


def check_task(item, todos, problem):
    cells = item["cells"]
    summary = text_of(cells.get("Se1d", ""))
    todo = named(todos, "SUMMARY", summary)
    if todo is None:
        problem(f"task {summary!r}: not in tasks.ics exactly once")
        return
    done = cells.get("L1090") == 1
    compare(f"task {summary!r}", todo, {
        "DESCRIPTION": text_of(cells.get("S1000", "")),
        "DTSTART": moment(cells["T8199"]) if "T8199" in cells else None,
        "DUE": moment(cells["T8198"]) if "T8198" in cells else None,
        "STATUS": "COMPLETED" if done else "NEEDS-ACTION",
        "COMPLETED": moment(cells["T1091"]) if done and "T1091" in cells else None,
        "CATEGORIES": cells.get("MS80db", []),
    }, problem)


def check_journal(item, entries, file_name, problem):
    cells = item["cells"]
    summary = text_of(cells.get("Se1d", ""))
    entry = named(entries, "SUMMARY", summary)
    if entry is None:
        problem(f"{file_name} {summary!r}: not there exactly once")
        return
    compare(f"{file_name} {summary!r}", entry,
            {"DESCRIPTION": text_of(cells.get("S1000", ""))}, problem)
    check_attachments(f"{file_name} {summary!r}", item, entry, problem)


def check_contact(item, cards, problem):
    cells = item["cells"]
    name = text_of(cells.get("S3001", ""))
    matches = [c for c in cards if one_value(c, "fn") == name and not values(c, "kind")]
    if len(matches) != 1:
        problem(f"card {name!r}: {len(matches)} cards")
        return
    card = matches[0]
    what = f"card {name!r}"
    expected = {"title": text_of(cells.get("S3a17", "")), "note": text_of(cells.get("S1000", ""))}
    for key, value in expected.items():
        if value and one_value(card, key) != value:
            problem(f"{what}: {key} {one_value(card, key)!r} is not {value!r}")
    if cells.get("S3a16") and one_value(card, "org")[:1] != [cells["S3a16"]]:
        problem(f"{what}: ORG {one_value(card, 'org')!r} lacks {cells['S3a16']!r}")
    emails = values(card, "email")
    wanted = sorted({text_of(cells[c]).lower() for c in ("S81b1", "S802c", "S803b") if c in cells})
    if sorted(e.lower() for e in emails) != wanted:
        problem(f"{what}: EMAIL {emails!r} is not each of {wanted!r} once")
    phones = sorted(values(card, "tel"))
    wanted = sorted(cells[c] for c in ("S3a08", "S3a09", "S3a1c", "S8145") if c in cells)
    if phones != wanted:
        problem(f"{what}: TEL {phones!r} is not {wanted!r}")
    places = {(a.city, a.code, a.country) for a in values(card, "adr")}
    city = first_cell(cells, "S3a27", "S8143")
    postal = str(cells["L813a"]) if "L813a" in cells else ""
    if city and not any(p[0] == city and p[1] == postal and p[2] == cells.get("S3a26", "")
                        for p in places):
        problem(f"{what}: no ADR of {city!r} {postal!r} {cells.get('S3a26', '')!r} in {places!r}")
    categories = [c for line in values(card, "categories") for c in line]
    if categories != cells.get("MS80db", []):
        problem(f"{what}: CATEGORIES {categories!r} is not {cells.get('MS80db', [])!r}")
    if "T3a42" in cells and one_value(card, "bday") != moment(cells["T3a42"]).strftime("%Y%m%d"):
        problem(f"{what}: BDAY {one_value(card, 'bday')!r} for {cells['T3a42']}")


def check_distlist(item, cards, problem):
    cells = item["cells"]
    name = text_of(cells.get("Se1d") or cells.get("S3001", ""))
    matches = [c for c in cards if one_value(c, "fn") == name and one_value(c, "kind") == "group"]
    if len(matches) != 1:
        problem(f"group {name!r}: {len(matches)} group cards")
        return
    members = sorted(values(matches[0], "member"))
    wanted = sorted("mailto:" + ADDRESS.search(m).group(0) for m in cells.get("MN81d8", []))
    if members != wanted:
        problem(f"group {name!r}: MEMBER {members!r} is not {wanted!r}")


def check_folder(folder, out_folder, problem):
    """Every entry of the folder's calendar and address book files against its items."""
    items = folder.get("items", [])

    def of_class(*prefixes):
        return [i for i in items if i.get("class", "").startswith(prefixes)]

    kinds = (
        ("calendar.ics", "VEVENT", of_class("IPM.Appointment"), check_appointment),
        ("tasks.ics", "VTODO", of_class("IPM.Task"), check_task),
        ("notes.ics", "VJOURNAL", of_class("IPM.StickyNote"),
         lambda i, e, p: check_journal(i, e, "notes.ics", p)),
        ("journal.ics", "VJOURNAL", of_class("IPM.Activity", "IPM.Journal"),
         lambda i, e, p: check_journal(i, e, "journal.ics", p)),
    )
    for file_name, component, wanted, check in kinds:
        entries = read_calendar(out_folder / file_name, component, problem)
        if len(entries) != len(wanted):
            problem(f"{out_folder / file_name}: {len(entries)} {component} for {len(wanted)} items")
        for item in wanted:
            check(item, entries, problem)

    cards = read_cards(out_folder / "contacts.vcf", problem)
    contacts, lists = of_class("IPM.Contact"), of_class("IPM.DistList")
    if len(cards) != len(contacts) + len(lists):
        problem(f"{out_folder}: {len(cards)} cards for {len(contacts)} contacts and "
                f"{len(lists)} distribution lists")
    for item in contacts:
        check_contact(item, cards, problem)
    for item in lists:
        check_distlist(item, cards, problem)
