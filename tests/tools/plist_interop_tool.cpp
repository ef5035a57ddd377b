// Writes and reads keyed archives and user-defaults files for the
// interoperability test (plist_interop.py), which checks them against
// Python's plistlib in both directions.
//
//   plist_interop_tool write-archive FILE
//   plist_interop_tool read-archive FILE        (JSON of the record, or exit 2)
//   plist_interop_tool write-defaults DIRECTORY
//   plist_interop_tool read-defaults DIRECTORY KEY...   (JSON of typed reads)
//   plist_interop_tool write-shortcut FILE KEYCODE FLAGS   (KEYCODE -1: no key)
//   plist_interop_tool read-shortcut FILE       (JSON of the shortcut, or exit 2)
#include <app/KSShortcut.h>
#include <foundation/JSON.h>
#include <foundation/NSKeyedArchiver.h>
#include <foundation/NSKeyedUnarchiver.h>
#include <foundation/NSUserDefaults.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>

namespace {

// A record with a field of every kind an archive holds.
class QVInteropRecord : public NSObject, public NSCoding {
public:
    int64_t keyCode { 0 };
    int64_t modifierFlags { 0 };
    bool enabled { false };
    double ratio { 0 };
    std::optional<std::string> title;
    Value payload;
    Ref<QVInteropRecord> child;
    bool hadKeyCode { false };

    void encodeWithCoder(NSCoder& coder) const override
    {
        coder.encodeInteger(keyCode, "KeyCode");
        coder.encodeInteger(modifierFlags, "ModifierFlags");
        coder.encodeBool(enabled, "Enabled");
        coder.encodeDouble(ratio, "Ratio");
        if (title)
            coder.encodeObject(Value(*title), "Title");
        coder.encodeObject(payload, "Payload");
        coder.encodeObject(Value(child), "Child");
    }

    static Ref<QVInteropRecord> initWithCoder(NSCoder& coder)
    {
        auto record = makeRef<QVInteropRecord>();
        record->hadKeyCode = coder.containsValueForKey("KeyCode");
        record->keyCode = coder.decodeIntegerForKey("KeyCode");
        record->modifierFlags = coder.decodeIntegerForKey("ModifierFlags");
        record->enabled = coder.decodeBoolForKey("Enabled");
        record->ratio = coder.decodeDoubleForKey("Ratio");
        record->title = coder.decodeStringForKey("Title");
        record->payload = coder.decodeObjectForKey("Payload");
        record->child = coder.decodeObjectOfClass<QVInteropRecord>("Child");
        return record;
    }
};

// JSON has no data or dates; they travel as tagged objects.
Value jsonForm(const Value& value)
{
    switch (value.type()) {
    case Value::Type::Data: {
        std::string hex;
        char pair[3];
        for (uint8_t byte : *value.data()) {
            std::snprintf(pair, sizeof pair, "%02x", byte);
            hex += pair;
        }
        return Value(Value::Dictionary { { "$data", Value(hex) } });
    }
    case Value::Type::Date:
        return Value(Value::Dictionary { { "$date", Value(value.date()->timeIntervalSinceReferenceDate) } });
    case Value::Type::Array: {
        Value::Array out;
        for (const auto& element : *value.array())
            out.push_back(jsonForm(element));
        return Value(out);
    }
    case Value::Type::Dictionary: {
        Value::Dictionary out;
        for (const auto& [key, element] : *value.dictionary())
            out[key] = jsonForm(element);
        return Value(out);
    }
    default:
        return value;
    }
}

Value recordForm(const Ref<QVInteropRecord>& record)
{
    if (!record)
        return {};
    return Value(Value::Dictionary {
        { "KeyCode", Value(record->keyCode) },
        { "HadKeyCode", Value(record->hadKeyCode) },
        { "ModifierFlags", Value(record->modifierFlags) },
        { "Enabled", Value(record->enabled) },
        { "Ratio", Value(record->ratio) },
        { "Title", record->title ? Value(*record->title) : Value() },
        { "Payload", jsonForm(record->payload) },
        { "Child", recordForm(record->child) },
    });
}

Ref<QVInteropRecord> sampleRecord()
{
    auto child = makeRef<QVInteropRecord>();
    child->keyCode = 48;
    child->modifierFlags = 0x40000;
    child->title = "child";
    auto record = makeRef<QVInteropRecord>();
    record->keyCode = 50;
    record->modifierFlags = 0x80000;
    record->enabled = true;
    record->ratio = 0.5;
    record->title = "Option-` \xe2\x8c\xa5";
    record->payload = Value(Value::Array {
        Value(-1),
        Value("two"),
        Value(),
        Value(2.25),
        Value(false),
        Value(Value::Bytes { 0, 1, 0xFE }),
        Value(NSDate { 788918400.5 }),
        Value(Value::Dictionary { { "keyCode", Value(50) }, { "modifierFlags", Value(0x80000) } }),
    });
    record->child = child;
    return record;
}

int fail(const std::string& message)
{
    std::fprintf(stderr, "plist_interop_tool: %s\n", message.c_str());
    return 1;
}

int writeArchive(const std::string& path)
{
    std::string error;
    auto data = NSKeyedArchiver::archivedDataWithRootObject(Value(sampleRecord()), &error);
    if (!data)
        return fail("archiving failed: " + error);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data->data()), static_cast<std::streamsize>(data->size()));
    return out ? 0 : fail("cannot write " + path);
}

int readArchive(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return fail("cannot read " + path);
    Value::Bytes data((std::istreambuf_iterator<char>(in)), {});
    std::string error;
    auto record = NSKeyedUnarchiver::unarchivedObjectOfClass<QVInteropRecord>(data, &error);
    if (!record) {
        std::cout << "null\n";
        std::fprintf(stderr, "plist_interop_tool: %s\n", error.c_str());
        return 2;
    }
    std::cout << serializeJSON(recordForm(record)) << "\n";
    return 0;
}

int writeDefaults(const std::string& directory)
{
    NSUserDefaults::setStorageDirectory(directory);
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->registerDefaults({ { "NSApplicationCrashOnExceptions", Value(false) } });
    defaults->setInteger(8, "Style3DIndex");
    defaults->setBool(true, "KeyboardShotcuts");
    defaults->setDouble(0.75, "Opacity");
    defaults->setObject(Value("{{10, 20}, {300, 200}}"), "KSPreferences GeneralPreferences Frame");
    auto archive = NSKeyedArchiver::archivedDataWithRootObject(Value(sampleRecord()));
    defaults->setObject(Value(*archive), "ShowActiveAppWindows");
    defaults->setObject(Value(NSDate { 788918400.0 }), "LastCheck");
    defaults->setObject(Value(Value::Array { Value(1), Value("x") }), "List");
    defaults->setObject(Value(Value::Dictionary { { "keyCode", Value(-1) } }), "Shortcut");
    return defaults->synchronize() ? 0 : fail("synchronize failed");
}

int readDefaults(const std::string& directory, int count, char** keys)
{
    NSUserDefaults::setStorageDirectory(directory);
    auto defaults = NSUserDefaults::standardUserDefaults();
    Value::Dictionary out;
    for (int i = 0; i < count; ++i) {
        std::string key = keys[i];
        auto string = defaults->stringForKey(key);
        out[key] = Value(Value::Dictionary {
            { "object", jsonForm(defaults->objectForKey(key)) },
            { "bool", Value(defaults->boolForKey(key)) },
            { "integer", Value(defaults->integerForKey(key)) },
            { "double", Value(defaults->doubleForKey(key)) },
            { "string", string ? Value(*string) : Value() },
        });
    }
    std::cout << serializeJSON(Value(out)) << "\n";
    return 0;
}

Value::Bytes readFile(const std::string& path, bool* ok)
{
    std::ifstream in(path, std::ios::binary);
    *ok = static_cast<bool>(in);
    return Value::Bytes((std::istreambuf_iterator<char>(in)), {});
}

int writeShortcut(const std::string& path, const std::string& keyCode, const std::string& flags)
{
    int64_t code = std::stoll(keyCode);
    auto shortcut = KSShortcut::shortcutWithKeyCode(code < 0 ? NSNotFound : code, std::stoull(flags, nullptr, 0));
    std::string error;
    auto data = NSKeyedArchiver::archivedDataWithRootObject(Value(shortcut), &error);
    if (!data)
        return fail("archiving failed: " + error);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data->data()), static_cast<std::streamsize>(data->size()));
    return out ? 0 : fail("cannot write " + path);
}

int readShortcut(const std::string& path)
{
    bool ok;
    auto data = readFile(path, &ok);
    if (!ok)
        return fail("cannot read " + path);
    std::string error;
    auto shortcut = NSKeyedUnarchiver::unarchivedObjectOfClass<KSShortcut>(data, &error);
    if (!shortcut) {
        std::cout << "null\n";
        std::fprintf(stderr, "plist_interop_tool: %s\n", error.c_str());
        return 2;
    }
    std::cout << serializeJSON(Value(Value::Dictionary {
        { "keyCode", shortcut->keyCode() == NSNotFound ? Value("NSNotFound") : Value(shortcut->keyCode()) },
        { "modifierFlags", Value(static_cast<int64_t>(shortcut->modifierFlags())) },
        { "description", Value(shortcut->description()) },
    })) << "\n";
    return 0;
}

}

int main(int argc, char** argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "write-archive" && argc == 3)
        return writeArchive(argv[2]);
    if (command == "read-archive" && argc == 3)
        return readArchive(argv[2]);
    if (command == "write-defaults" && argc == 3)
        return writeDefaults(argv[2]);
    if (command == "read-defaults" && argc >= 3)
        return readDefaults(argv[2], argc - 3, argv + 3);
    if (command == "write-shortcut" && argc == 5)
        return writeShortcut(argv[2], argv[3], argv[4]);
    if (command == "read-shortcut" && argc == 3)
        return readShortcut(argv[2]);
    return fail("usage: write-archive FILE | read-archive FILE | write-defaults DIR | read-defaults DIR KEY... | "
                "write-shortcut FILE KEYCODE FLAGS | read-shortcut FILE");
}
