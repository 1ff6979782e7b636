"""The Files extension's menus, with stand-ins for the file manager's objects.

Usage: test_nautilus_extension.py BUILT_EXTENSION.py [unittest options]
"""

import os
import sys
import tempfile
import types
import unittest

EXTENSION = None  # the path given on the command line

SECTION = "[HKEY_CURRENT_USER\\Software\\Tenvik-Labs\\Cryvan]"


class StubMenuItem:
    def __init__(self, name, label, tip, icon):
        self.name, self.label, self.tip, self.icon = name, label, tip, icon
        self.handlers = []

    def connect(self, signal, handler, *data):
        self.handlers.append((signal, handler, data))

    def activate(self):
        for signal, handler, data in self.handlers:
            if signal == "activate":
                handler(self, *data)


def stub_gi():
    """A `gi` that offers Nautilus 4.0 as far as the extension uses it."""
    gi = types.ModuleType("gi")
    versions = {}

    def require_version(name, version):
        if (name, version) != ("Nautilus", "4.0"):
            raise ValueError("Namespace %s not available in version %s" % (name, version))
        versions[name] = version

    gi.require_version = require_version
    gi.versions = versions
    repository = types.ModuleType("gi.repository")
    gobject = types.ModuleType("GObject")
    gobject.GObject = type("GObject", (), {"__init__": lambda self: None})
    nautilus = types.ModuleType("Nautilus")
    nautilus.MenuProvider = type("MenuProvider", (), {})
    nautilus.MenuItem = StubMenuItem
    repository.GObject = gobject
    repository.Nautilus = nautilus
    gi.repository = repository
    return {"gi": gi, "gi.repository": repository}


def load_extension(modules):
    saved = {name: sys.modules.get(name) for name in modules}
    sys.modules.update(modules)
    try:
        module = types.ModuleType("cryvan_nautilus_under_test")
        module.__file__ = str(EXTENSION)
        with open(EXTENSION, encoding="utf-8") as source:
            exec(compile(source.read(), str(EXTENSION), "exec"), module.__dict__)
        return module
    finally:
        for name, value in saved.items():
            if value is None:
                sys.modules.pop(name, None)
            else:
                sys.modules[name] = value


class StubLocation:
    def __init__(self, path):
        self.path = path

    def get_path(self):
        return self.path


class StubFile:
    def __init__(self, path, mime="text/plain", directory=False, scheme="file"):
        self.path, self.mime, self.directory, self.scheme = path, mime, directory, scheme

    def get_uri_scheme(self):
        return self.scheme

    def get_location(self):
        return StubLocation(self.path if self.scheme == "file" else None)

    def get_mime_type(self):
        return self.mime

    def is_directory(self):
        return self.directory


def settings_text(*lines):
    return "REGEDIT4\n\n" + "\n".join(lines) + "\n"


class WithSettings(unittest.TestCase):
    """A private XDG_CONFIG_HOME for each test."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.folder = os.path.join(self.tmp.name, "Tenvik-Labs", "Cryvan")
        os.makedirs(self.folder)
        self.path = os.path.join(self.folder, "settings.reg")
        saved = os.environ.get("XDG_CONFIG_HOME")
        os.environ["XDG_CONFIG_HOME"] = self.tmp.name
        self.addCleanup(
            lambda: os.environ.__setitem__("XDG_CONFIG_HOME", saved)
            if saved is not None
            else os.environ.pop("XDG_CONFIG_HOME", None)
        )

    def write(self, content):
        mode = "wb" if isinstance(content, bytes) else "w"
        with open(self.path, mode) as f:
            f.write(content)


class LoadsWithAndWithoutGi(unittest.TestCase):
    def test_without_gi_the_logic_is_there_and_no_provider(self):
        module = load_extension({"gi": None})
        self.assertIsNone(module.Nautilus)
        self.assertFalse(hasattr(module, "CryvanMenuProvider"))
        self.assertTrue(module.menu_entries([("/a", "text/plain", False)], 1))

    def test_with_nautilus_4_the_provider_is_defined(self):
        module = load_extension(stub_gi())
        self.assertTrue(hasattr(module, "CryvanMenuProvider"))

    def test_program_is_the_installed_absolute_path(self):
        module = load_extension({"gi": None})
        self.assertTrue(module.PROGRAM.startswith("/"), module.PROGRAM)
        self.assertEqual(os.path.basename(module.PROGRAM), "cryvan")


class MenuDeletionOption(WithSettings):
    def setUp(self):
        super().setUp()
        self.m = load_extension({"gi": None})

    def option(self):
        return self.m.menu_deletion_option(self.m.settings_path())

    def test_values_from_the_file(self):
        cases = [
            ("absent value", settings_text(SECTION, '"ConfirmMenuDeletion"=dword:00000000'), 1),
            ("none", settings_text(SECTION, '"MenuDeletionOption"=dword:00000000'), 0),
            ("overwrite", settings_text(SECTION, '"MenuDeletionOption"=dword:00000001'), 1),
            ("eradicate", settings_text(SECTION, '"MenuDeletionOption"=dword:00000002'), 2),
            ("out of range", settings_text(SECTION, '"MenuDeletionOption"=dword:00000003'), 1),
            ("all bits", settings_text(SECTION, '"MenuDeletionOption"=dword:ffffffff'), 1),
            ("a string", settings_text(SECTION, '"MenuDeletionOption"="0"'), 1),
            ("short dword", settings_text(SECTION, '"MenuDeletionOption"=dword:0'), 1),
            ("not hex", settings_text(SECTION, '"MenuDeletionOption"=dword:0000000g'), 1),
            (
                "other section",
                settings_text(
                    "[HKEY_CURRENT_USER\\Software\\Other]", '"MenuDeletionOption"=dword:00000000'
                ),
                1,
            ),
            ("before any section", settings_text('"MenuDeletionOption"=dword:00000000'), 1),
            (
                "names ignore case, spaces around",
                settings_text(
                    SECTION.lower(), '  "menudeletionoption" = DWORD:00000002  '
                ),
                2,
            ),
            (
                "last line wins, sections merge",
                settings_text(
                    SECTION,
                    '"MenuDeletionOption"=dword:00000002',
                    "[HKEY_CURRENT_USER\\Software\\Other]",
                    '"MenuDeletionOption"=dword:00000001',
                    SECTION,
                    '"MenuDeletionOption"=dword:00000000',
                ),
                0,
            ),
            (
                "windows line ends",
                "REGEDIT4\r\n\r\n" + SECTION + "\r\n" + '"MenuDeletionOption"=dword:00000000\r\n',
                0,
            ),
            (
                "a wrapped value's continuation is no value line",
                settings_text(
                    SECTION,
                    '"Other"=hex:01,02,\\',
                    '"MenuDeletionOption"=dword:00000000',
                ),
                1,
            ),
            ("empty file", "", 1),
            ("binary garbage", b"\x00\xff\xfe[\x00\n\x81\"Menu", 1),
        ]
        for what, content, expected in cases:
            with self.subTest(what):
                self.write(content)
                self.assertEqual(self.option(), expected)

    def test_missing_file_means_the_default(self):
        self.assertEqual(self.option(), 1)

    def test_a_folder_or_a_fifo_in_its_place_means_the_default(self):
        os.mkdir(self.path)
        self.assertEqual(self.option(), 1)
        os.rmdir(self.path)
        os.mkfifo(self.path)  # nobody writes: a blocking read would hang the menu
        self.assertEqual(self.option(), 1)

    def test_a_file_too_large_to_be_settings_means_the_default(self):
        self.write(settings_text(SECTION, '"MenuDeletionOption"=dword:00000000'))
        with open(self.path, "ab") as f:
            f.truncate(self.m.MAX_SETTINGS_SIZE + 1)
        self.assertEqual(self.option(), 1)

    @unittest.skipIf(os.geteuid() == 0, "root reads any file")
    def test_an_unreadable_file_means_the_default(self):
        self.write(settings_text(SECTION, '"MenuDeletionOption"=dword:00000000'))
        os.chmod(self.path, 0)
        self.assertEqual(self.option(), 1)

    def test_where_the_file_is_looked_for(self):
        home = os.path.join(self.tmp.name, "home")
        expected_home = os.path.join(home, ".config", "Tenvik-Labs", "Cryvan", "settings.reg")
        cases = [
            ({"XDG_CONFIG_HOME": "/cfg", "HOME": home}, "/cfg/Tenvik-Labs/Cryvan/settings.reg"),
            ({"XDG_CONFIG_HOME": "relative", "HOME": home}, expected_home),
            ({"XDG_CONFIG_HOME": "", "HOME": home}, expected_home),
            ({"HOME": home}, expected_home),
        ]
        for environ, expected in cases:
            with self.subTest(environ):
                self.assertEqual(self.m.settings_path(environ), expected)


class FileItems(WithSettings):
    def setUp(self):
        super().setUp()
        self.m = load_extension(stub_gi())
        self.provider = self.m.CryvanMenuProvider()
        self.started = []
        self.m.launch = self.started.append

    def items(self, *files, option=None):
        if option is not None:
            self.write(settings_text(SECTION, '"MenuDeletionOption"=dword:%08x' % option))
        return {item.label: item for item in self.provider.get_file_items(list(files))}

    def command(self, item):
        self.started.clear()
        item.activate()
        return list(self.started)

    def test_which_entries_for_which_selection(self):
        plain = StubFile("/home/u/a b.txt")
        folder = StubFile("/home/u/docs", "inode/directory", directory=True)
        by_type = StubFile("/home/u/backup", "application/x-cryvan")
        sfx = StubFile("/home/u/x.aes.exe", "application/x-cryvan-executable")
        by_name = StubFile("/home/u/Old.AES", "application/octet-stream")
        folder_named_aes = StubFile("/home/u/box.aes", "inode/directory", directory=True)
        encrypt, decrypt = "Encrypt with Cryvan", "Decrypt with Cryvan"
        overwrite = "Overwrite with Cryvan"
        cases = [
            ("plain files", [plain, folder], {encrypt, overwrite}),
            ("one container by type", [by_type], {encrypt, decrypt, overwrite}),
            ("a self-decrypting file", [sfx], {encrypt, decrypt, overwrite}),
            ("a container known by its name", [by_name], {encrypt, decrypt, overwrite}),
            ("containers only", [by_type, sfx, by_name], {encrypt, decrypt, overwrite}),
            ("a container and a file", [by_type, plain], {encrypt, overwrite}),
            ("a folder named like a container", [folder_named_aes], {encrypt, overwrite}),
            ("nothing", [], set()),
        ]
        for what, files, expected in cases:
            with self.subTest(what):
                self.assertEqual(set(self.items(*files)), expected)

    def test_anything_not_local_gets_no_entries(self):
        remote = StubFile("/x.aes", "application/x-cryvan", scheme="sftp")
        local = StubFile("/home/u/a.txt")
        self.assertEqual(self.items(local, remote), {})

    def test_shred_entry_follows_the_option(self):
        files = [StubFile("/home/u/a.txt")]
        cases = [
            (0, None),
            (1, "Overwrite with Cryvan"),
            (2, "Eradicate with Cryvan"),
            (3, "Overwrite with Cryvan"),  # out of range: the default
        ]
        for option, label in cases:
            with self.subTest(option=option):
                labels = set(self.items(*files, option=option))
                shred = {"Overwrite with Cryvan", "Eradicate with Cryvan"} & labels
                self.assertEqual(shred, {label} if label else set())
                self.assertIn("Encrypt with Cryvan", labels)

    def test_shred_entry_without_a_settings_file_overwrites(self):
        self.assertIn("Overwrite with Cryvan", self.items(StubFile("/home/u/a.txt")))

    def test_option_is_read_again_each_time_the_menu_opens(self):
        files = [StubFile("/home/u/a.txt")]
        self.assertIn("Eradicate with Cryvan", self.items(*files, option=2))
        self.assertNotIn("Eradicate with Cryvan", self.items(*files, option=0))

    def test_command_lines(self):
        p = self.m.PROGRAM
        a = StubFile("/home/u/a b.txt")
        odd = StubFile("/home/u/$(touch x) 'q\".txt")
        c1 = StubFile("/home/u/one.aes", "application/x-cryvan")
        c2 = StubFile("/home/u/two.aes.exe", "application/x-cryvan-executable")
        items = self.items(a, odd, option=2)
        self.assertEqual(
            self.command(items["Encrypt with Cryvan"]),
            [[p, "--menu", "encrypt", a.path, odd.path]],
        )
        self.assertEqual(
            self.command(items["Eradicate with Cryvan"]),
            [[p, "--menu", "shred", a.path, odd.path]],
        )
        # One wizard per container: the program decrypts one at a time.
        items = self.items(c1, c2)
        self.assertEqual(
            self.command(items["Decrypt with Cryvan"]),
            [[p, "--menu", "decrypt", c1.path], [p, "--menu", "decrypt", c2.path]],
        )

    def test_items_are_named_uniquely_for_the_file_manager(self):
        items = self.provider.get_file_items([StubFile("/x.aes", "application/x-cryvan")])
        names = [item.name for item in items]
        self.assertEqual(len(names), len(set(names)))
        self.assertTrue(all(name.startswith("CryvanMenu::") for name in names))


def real_nautilus_available():
    try:
        import gi

        gi.require_version("Nautilus", "4.0")
        from gi.repository import Nautilus

        return Nautilus is not None
    except (ImportError, ValueError):
        return False


@unittest.skipUnless(real_nautilus_available(), "no Nautilus 4.0 bindings (gir1.2-nautilus-4.0)")
class RealNautilus(WithSettings):
    """The provider against the file manager's real extension API, with real GIO locations."""

    def test_items_are_menu_items_that_start_the_program(self):
        from gi.repository import Gio, Nautilus

        m = load_extension({})
        self.assertIs(m.Nautilus, Nautilus)
        started = []
        m.launch = started.append

        class RealLocation(StubFile):
            def get_location(self):
                return Gio.File.new_for_path(self.path)

        self.write(settings_text(SECTION, '"MenuDeletionOption"=dword:00000002'))
        container = RealLocation("/tmp/a b.aes", "application/x-cryvan")
        items = m.CryvanMenuProvider().get_file_items([container])
        self.assertTrue(all(isinstance(i, Nautilus.MenuItem) for i in items))
        labels = {i.props.label: i for i in items}
        self.assertEqual(
            set(labels), {"Encrypt with Cryvan", "Decrypt with Cryvan", "Eradicate with Cryvan"}
        )
        labels["Decrypt with Cryvan"].activate()
        self.assertEqual(started, [[m.PROGRAM, "--menu", "decrypt", "/tmp/a b.aes"]])


class Launch(unittest.TestCase):
    def setUp(self):
        self.m = load_extension({"gi": None})
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)

    def test_starts_in_its_own_session_with_arguments_untouched(self):
        out = os.path.join(self.tmp.name, "out")
        odd = "a b $(touch %s) 'q\"" % os.path.join(self.tmp.name, "touched")
        script = (
            "import os, sys\n"
            "open(sys.argv[1], 'w').write('%d\\n%s' % (os.getsid(0), sys.argv[2]))\n"
        )
        child = self.m.launch([sys.executable, "-c", script, out, odd])
        self.assertIsNotNone(child)
        self.assertEqual(child.wait(timeout=30), 0)
        with open(out) as f:
            sid, arg = f.read().split("\n", 1)
        self.assertNotEqual(int(sid), os.getsid(0))
        self.assertEqual(arg, odd)
        self.assertFalse(os.path.exists(os.path.join(self.tmp.name, "touched")))

    def test_a_missing_program_is_reported_not_raised(self):
        missing = os.path.join(self.tmp.name, "no-such-cryvan")
        self.assertIsNone(self.m.launch([missing, "--menu", "open"]))


if __name__ == "__main__":
    if len(sys.argv) < 2 or not os.path.isfile(sys.argv[1]):
        sys.exit("usage: test_nautilus_extension.py BUILT_EXTENSION.py [unittest options]")
    EXTENSION = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
