"""The static menus, as built, start the installed program with the right verb on the right files.

Each file manager substitutes its own field codes: Nemo's %f is a display name, not a path, and
Thunar matches names only, so a wrong code or filter here opens the wrong thing or nothing.

Usage: check-menu-files.py BUILT_DIR PROGRAM APP_ID
"""

import configparser
import os
import sys
import xml.etree.ElementTree as ET

CONTAINERS = ["application/x-cryvan", "application/x-cryvan-executable"]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def keyfile(path):
    parser = configparser.ConfigParser(interpolation=None, strict=True)
    parser.optionxform = str
    with open(path, encoding="utf-8") as f:
        parser.read_file(f)
    return parser


def items(value):
    return [v for v in value.split(";") if v]


def main(built, program, app_id):
    cmd = lambda rest: "%s --menu %s" % (program, rest)  # noqa: E731

    entry = keyfile(os.path.join(built, app_id + ".desktop"))
    main_group = entry["Desktop Entry"]
    check(main_group["Exec"] == cmd("open %f"), "desktop entry: Exec " + main_group["Exec"])
    check(main_group["Icon"] == app_id, "desktop entry: Icon " + main_group["Icon"])
    check(items(main_group["MimeType"]) == CONTAINERS, "desktop entry: MimeType")
    actions = {
        a: entry["Desktop Action " + a]["Exec"] for a in items(main_group["Actions"])
    }
    check(
        actions == {"Encrypt": cmd("encrypt %F"), "Decrypt": cmd("decrypt %f")},
        "desktop entry: actions %r" % actions,
    )

    # Dolphin: label -> command per service menu, and the types it shows on.
    dolphin = {
        "cryvan.desktop": (
            ["all/all"],
            {"Encrypt with Cryvan": cmd("encrypt %F"), "Shred with Cryvan": cmd("shred %F")},
        ),
        "cryvan-decrypt.desktop": (CONTAINERS, {"Decrypt with Cryvan": cmd("decrypt %f")}),
    }
    for name, (types, expected) in dolphin.items():
        menu = keyfile(os.path.join(built, "servicemenus", name))
        group = menu["Desktop Entry"]
        check(items(group["MimeType"]) == types, "Dolphin %s: MimeType" % name)
        got = {
            menu["Desktop Action " + a]["Name"]: menu["Desktop Action " + a]["Exec"]
            for a in items(group["Actions"])
        }
        check(got == expected, "Dolphin %s: actions %r" % (name, got))

    # Nemo: paths are pasted into a command line, so they must be quoted.
    nemo = {
        "cryvan-encrypt.nemo_action": ("Encrypt with Cryvan", "encrypt %F", "notnone", None),
        "cryvan-decrypt.nemo_action": ("Decrypt with Cryvan", "decrypt %F", "s", CONTAINERS),
        "cryvan-shred.nemo_action": ("Shred with Cryvan", "shred %F", "notnone", None),
    }
    for name, (label, rest, selection, types) in nemo.items():
        action = keyfile(os.path.join(built, name))["Nemo Action"]
        check(action["Name"] == label, "Nemo %s: Name" % name)
        check(action["Exec"] == cmd(rest), "Nemo %s: Exec %s" % (name, action["Exec"]))
        check(action["Selection"] == selection, "Nemo %s: Selection" % name)
        check(action.get("Quote") == "double", "Nemo %s: paths unquoted" % name)
        if types is None:
            check(items(action.get("Extensions", "")) == ["any"], "Nemo %s: Extensions" % name)
            check("Mimetypes" not in action, "Nemo %s: limited to types" % name)
        else:
            check(items(action.get("Mimetypes", "")) == types, "Nemo %s: Mimetypes" % name)
            check("Extensions" not in action, "Nemo %s: shown by extension" % name)

    # Thunar: name -> (command, patterns, shown on folders).
    thunar = {
        "Encrypt with Cryvan": (cmd("encrypt %F"), "*", True),
        "Decrypt with Cryvan": (cmd("decrypt %f"), "*.aes;*.aes.exe", False),
        "Shred with Cryvan": (cmd("shred %F"), "*", True),
    }
    root = ET.parse(os.path.join(built, "thunar-uca.xml")).getroot()
    check(root.tag == "actions", "Thunar: root element " + root.tag)
    got = {
        a.findtext("name"): (
            a.findtext("command"),
            a.findtext("patterns"),
            a.find("directories") is not None,
        )
        for a in root.findall("action")
    }
    check(got == thunar, "Thunar: actions %r" % got)
    ids = [a.findtext("unique-id") for a in root.findall("action")]
    check(len(set(ids)) == len(ids) and all(ids), "Thunar: unique ids %r" % ids)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit("usage: check-menu-files.py BUILT_DIR PROGRAM APP_ID")
    if not sys.argv[2].startswith("/"):
        sys.exit("FAILED: the program path %r is not absolute" % sys.argv[2])
    try:
        main(*sys.argv[1:])
    except (OSError, KeyError, configparser.Error, ET.ParseError) as e:
        failures.append("%s: %s" % (type(e).__name__, e))
    for f in failures:
        print("FAILED:", f, file=sys.stderr)
    if failures:
        sys.exit(1)
    print("menus consistent")
