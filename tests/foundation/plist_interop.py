#!/usr/bin/env python3
"""Keyed archives and the user-defaults file, checked against plistlib.

Archives written by the project are read here with plistlib, and archives
written here with plistlib (references as plistlib.UID) are read by the
project, through tests/tools/plist_interop_tool.

Usage: plist_interop.py PATH_TO_plist_interop_tool
"""

import datetime
import json
import os
import plistlib
import subprocess
import sys
import tempfile
import unittest

TOOL = None
REFERENCE_DATE = datetime.datetime(2001, 1, 1)


def run_tool(*args, check=True):
    result = subprocess.run([TOOL, *args], capture_output=True, text=True, timeout=60)
    if check and result.returncode != 0:
        raise AssertionError("%s failed (%d): %s" % (args, result.returncode, result.stderr))
    return result


def resolve(objects, value, depth=0):
    """Decodes one archived value the way an unarchiver would."""
    if depth > 50:
        raise AssertionError("archive nests too deeply")
    if isinstance(value, plistlib.UID):
        if value.data == 0:
            return None
        return resolve(objects, objects[value.data], depth + 1)
    if isinstance(value, dict) and "$class" in value:
        description = objects[value["$class"].data]
        name = description["$classname"]
        if name in ("NSArray", "NSMutableArray"):
            return [resolve(objects, item, depth + 1) for item in value["NS.objects"]]
        if name in ("NSDictionary", "NSMutableDictionary"):
            keys = [resolve(objects, k, depth + 1) for k in value["NS.keys"]]
            return dict(zip(keys, [resolve(objects, v, depth + 1) for v in value["NS.objects"]]))
        if name == "NSDate":
            return REFERENCE_DATE + datetime.timedelta(seconds=value["NS.time"])
        fields = {k: v for k, v in value.items() if k != "$class"}
        return {"$classname": name, "$classes": description["$classes"],
                **{k: resolve(objects, v, depth + 1) for k, v in fields.items()}}
    return value


def uid(n):
    return plistlib.UID(n)


def class_entry(name):
    return {"$classname": name, "$classes": [name, "NSObject"]}


def python_archive(record_class="QVInteropRecord", key_code=-1, with_key_code=True):
    """An archive as another writer makes it: plistlib, its own object order."""
    objects = [
        "$null",
        None,  # the record, filled in below
        class_entry(record_class),
        "Grave \u2325",
        {"NS.objects": [uid(5), uid(6), uid(0), uid(7), uid(8), uid(10)], "$class": uid(9)},
        "one",
        42,
        b"\x00\xff",
        {"NS.time": 788918400.25, "$class": uid(11)},
        class_entry("NSMutableArray"),
        {"NS.keys": [uid(12)], "NS.objects": [uid(13)], "$class": uid(14)},
        class_entry("NSDate"),
        "inner",
        True,
        class_entry("NSDictionary"),
    ]
    record = {"ModifierFlags": 0x1E0000, "Enabled": True, "Ratio": -1.5,
              "Title": uid(3), "Payload": uid(4), "$class": uid(2)}
    if with_key_code:
        record["KeyCode"] = key_code
    objects[1] = record
    return {"$archiver": "NSKeyedArchiver", "$version": 100000,
            "$top": {"root": uid(1)}, "$objects": objects}


class ArchivesWrittenByTheProject(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.path = os.path.join(self.directory.name, "record.archive")
        run_tool("write-archive", self.path)
        with open(self.path, "rb") as f:
            self.raw = f.read()
        self.archive = plistlib.loads(self.raw)

    def tearDown(self):
        self.directory.cleanup()

    def test_layout(self):
        self.assertTrue(self.raw.startswith(b"bplist00"))
        self.assertEqual(self.archive["$archiver"], "NSKeyedArchiver")
        self.assertEqual(self.archive["$version"], 100000)
        objects = self.archive["$objects"]
        self.assertEqual(objects[0], "$null")
        root = self.archive["$top"]["root"]
        self.assertIsInstance(root, plistlib.UID)
        record = objects[root.data]
        self.assertIsInstance(record["$class"], plistlib.UID)
        description = objects[record["$class"].data]
        self.assertEqual(description["$classname"], "QVInteropRecord")
        self.assertEqual(description["$classes"][-1], "NSObject")

    def test_values(self):
        objects = self.archive["$objects"]
        record = resolve(objects, self.archive["$top"]["root"])
        self.assertEqual(record["KeyCode"], 50)
        self.assertEqual(record["ModifierFlags"], 0x80000)
        self.assertIs(record["Enabled"], True)
        self.assertEqual(record["Ratio"], 0.5)
        self.assertEqual(record["Title"], "Option-` \u2325")
        self.assertEqual(record["Payload"], [
            -1, "two", None, 2.25, False, b"\x00\x01\xfe",
            REFERENCE_DATE + datetime.timedelta(seconds=788918400.5),
            {"keyCode": 50, "modifierFlags": 0x80000},
        ])
        child = record["Child"]
        self.assertEqual(child["$classname"], "QVInteropRecord")
        self.assertEqual(child["KeyCode"], 48)
        self.assertEqual(child["ModifierFlags"], 0x40000)
        self.assertEqual(child["Title"], "child")
        self.assertIsNone(child["Child"])


class ArchivesWrittenByPython(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.directory.cleanup()

    def read(self, data):
        path = os.path.join(self.directory.name, "python.archive")
        with open(path, "wb") as f:
            f.write(data)
        return run_tool("read-archive", path, check=False)

    def test_binary_archive(self):
        result = self.read(plistlib.dumps(python_archive(), fmt=plistlib.FMT_BINARY))
        self.assertEqual(result.returncode, 0, result.stderr)
        record = json.loads(result.stdout)
        self.assertEqual(record["KeyCode"], -1)
        self.assertTrue(record["HadKeyCode"])
        self.assertEqual(record["ModifierFlags"], 0x1E0000)
        self.assertIs(record["Enabled"], True)
        self.assertEqual(record["Ratio"], -1.5)
        self.assertEqual(record["Title"], "Grave \u2325")
        self.assertEqual(record["Payload"], [
            "one", 42, None, {"$data": "00ff"}, {"$date": 788918400.25}, {"inner": True}])
        self.assertIsNone(record["Child"])

    def test_xml_archive(self):
        # plistlib writes no UIDs in XML; the XML form of one is {"CF$UID": n}.
        def xml_form(value):
            if isinstance(value, plistlib.UID):
                return {"CF$UID": value.data}
            if isinstance(value, dict):
                return {k: xml_form(v) for k, v in value.items()}
            if isinstance(value, list):
                return [xml_form(v) for v in value]
            return value
        result = self.read(plistlib.dumps(xml_form(python_archive(key_code=123)), fmt=plistlib.FMT_XML))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(json.loads(result.stdout)["KeyCode"], 123)

    def test_missing_key_is_visible(self):
        result = self.read(plistlib.dumps(python_archive(with_key_code=False), fmt=plistlib.FMT_BINARY))
        self.assertEqual(result.returncode, 0, result.stderr)
        record = json.loads(result.stdout)
        self.assertFalse(record["HadKeyCode"])
        self.assertEqual(record["KeyCode"], 0)

    def test_foreign_class_is_refused(self):
        result = self.read(plistlib.dumps(python_archive(record_class="NSWindow"), fmt=plistlib.FMT_BINARY))
        self.assertEqual(result.returncode, 2)
        self.assertEqual(result.stdout.strip(), "null")
        self.assertIn("NSWindow", result.stderr)

    def test_truncated_and_garbage_archives_are_refused(self):
        data = plistlib.dumps(python_archive(), fmt=plistlib.FMT_BINARY)
        for length in (0, 8, len(data) // 2, len(data) - 1):
            result = self.read(data[:length])
            self.assertEqual(result.returncode, 2, "length %d" % length)
            self.assertEqual(result.stdout.strip(), "null")
        result = self.read(b"not an archive at all")
        self.assertEqual(result.returncode, 2)

    def test_reference_out_of_range_is_refused(self):
        archive = python_archive()
        archive["$top"]["root"] = uid(999)
        result = self.read(plistlib.dumps(archive, fmt=plistlib.FMT_BINARY))
        self.assertEqual(result.returncode, 2)


def shortcut_archive(fields, class_name="KSShortcut"):
    """A shortcut archived by plistlib, as another writer of the defaults would."""
    record = dict(fields)
    record["$class"] = uid(2)
    return {"$archiver": "NSKeyedArchiver", "$version": 100000, "$top": {"root": uid(1)},
            "$objects": ["$null", record, class_entry(class_name)]}


class ShortcutArchives(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.path = os.path.join(self.directory.name, "shortcut.archive")

    def tearDown(self):
        self.directory.cleanup()

    def written_by_the_project(self, key_code, flags):
        run_tool("write-shortcut", self.path, str(key_code), str(flags))
        with open(self.path, "rb") as f:
            archive = plistlib.loads(f.read())
        return resolve(archive["$objects"], archive["$top"]["root"])

    def read_by_the_project(self, archive, fmt=plistlib.FMT_BINARY):
        with open(self.path, "wb") as f:
            f.write(plistlib.dumps(archive, fmt=fmt))
        return run_tool("read-shortcut", self.path, check=False)

    def test_written_by_the_project(self):
        shortcut = self.written_by_the_project(50, 0x80000)
        self.assertEqual(shortcut["$classname"], "KSShortcut")
        self.assertEqual(shortcut["KeyCode"], 50)
        self.assertEqual(shortcut["ModifierFlags"], 0x80000)
        # Flags outside Shift, Control, Option and Command are not stored.
        shortcut = self.written_by_the_project(48, 0x40000 | 0x10000 | 0x800000)
        self.assertEqual((shortcut["KeyCode"], shortcut["ModifierFlags"]), (48, 0x40000))

    def test_no_key_is_stored_as_minus_one(self):
        shortcut = self.written_by_the_project(-1, 0x100000)
        self.assertEqual(shortcut["KeyCode"], -1)

    def test_written_by_python(self):
        result = self.read_by_the_project(shortcut_archive({"KeyCode": 48, "ModifierFlags": 0x40000}))
        self.assertEqual(result.returncode, 0, result.stderr)
        shortcut = json.loads(result.stdout)
        self.assertEqual(shortcut["keyCode"], 48)
        self.assertEqual(shortcut["modifierFlags"], 0x40000)
        self.assertEqual(shortcut["description"], "\u2303\u21e5")

    def test_written_by_python_as_xml(self):
        archive = shortcut_archive({"KeyCode": 12, "ModifierFlags": 0x100000})
        archive["$top"]["root"] = {"CF$UID": 1}
        archive["$objects"][1]["$class"] = {"CF$UID": 2}
        result = self.read_by_the_project(archive, fmt=plistlib.FMT_XML)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(json.loads(result.stdout)["description"], "\u2318Q")

    def test_minus_one_reads_as_no_key(self):
        result = self.read_by_the_project(shortcut_archive({"KeyCode": -1, "ModifierFlags": 0}))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(json.loads(result.stdout)["keyCode"], "NSNotFound")

    def test_damaged_shortcuts_are_refused(self):
        for fields, why in (({"ModifierFlags": 0x100000}, "no key code"),
                            ({"KeyCode": 0}, "no flags"),
                            ({"KeyCode": "0", "ModifierFlags": 0x100000}, "a key code of text"),
                            ({"KeyCode": 65536, "ModifierFlags": 0x100000}, "a key code no key has")):
            result = self.read_by_the_project(shortcut_archive(fields))
            self.assertEqual(result.returncode, 2, why)
            self.assertEqual(result.stdout.strip(), "null", why)

    def test_foreign_class_is_refused(self):
        result = self.read_by_the_project(shortcut_archive({"KeyCode": 12, "ModifierFlags": 0}, "NSWindow"))
        self.assertEqual(result.returncode, 2)
        self.assertIn("NSWindow", result.stderr)


class DefaultsFile(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.path = os.path.join(self.directory.name, "defaults.plist")

    def tearDown(self):
        self.directory.cleanup()

    def test_written_by_the_project(self):
        run_tool("write-defaults", self.directory.name)
        with open(self.path, "rb") as f:
            raw = f.read()
        self.assertTrue(raw.startswith(b"bplist00"))
        stored = plistlib.loads(raw)
        self.assertNotIn("NSApplicationCrashOnExceptions", stored)
        self.assertEqual(stored["Style3DIndex"], 8)
        self.assertIs(stored["KeyboardShotcuts"], True)
        self.assertEqual(stored["Opacity"], 0.75)
        self.assertEqual(stored["KSPreferences GeneralPreferences Frame"], "{{10, 20}, {300, 200}}")
        self.assertEqual(stored["LastCheck"], REFERENCE_DATE + datetime.timedelta(seconds=788918400))
        self.assertEqual(stored["List"], [1, "x"])
        self.assertEqual(stored["Shortcut"], {"keyCode": -1})
        archive = plistlib.loads(stored["ShowActiveAppWindows"])
        record = resolve(archive["$objects"], archive["$top"]["root"])
        self.assertEqual((record["KeyCode"], record["ModifierFlags"]), (50, 0x80000))
        leftovers = sorted(os.listdir(self.directory.name))
        self.assertEqual(leftovers, ["defaults.plist"])

    def check_read(self, fmt):
        values = {"ThemeIndex": 2, "ShowIconInDock": False, "Ratio": 1.5, "Name": "YES",
                  "Data": b"\x01\x02", "When": REFERENCE_DATE + datetime.timedelta(seconds=60)}
        with open(self.path, "wb") as f:
            plistlib.dump(values, f, fmt=fmt)
        result = run_tool("read-defaults", self.directory.name, *values.keys(), "Absent")
        read = json.loads(result.stdout)
        self.assertEqual(read["ThemeIndex"]["object"], 2)
        self.assertEqual(read["ThemeIndex"]["string"], "2")
        self.assertIs(read["ShowIconInDock"]["object"], False)
        self.assertEqual(read["Ratio"]["integer"], 1)
        self.assertEqual(read["Ratio"]["double"], 1.5)
        self.assertIs(read["Name"]["bool"], True)
        self.assertEqual(read["Data"]["object"], {"$data": "0102"})
        self.assertIsNone(read["Data"]["string"])
        self.assertEqual(read["When"]["object"], {"$date": 60.0})
        self.assertEqual(read["Absent"], {"object": None, "bool": False, "integer": 0, "double": 0, "string": None})

    def test_binary_written_by_python(self):
        self.check_read(plistlib.FMT_BINARY)

    def test_xml_written_by_python(self):
        self.check_read(plistlib.FMT_XML)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    TOOL = sys.argv.pop(1)
    unittest.main(verbosity=2)
