#include <foundation/Log.h>
#include <foundation/NSKeyedArchiver.h>
#include <foundation/NSKeyedUnarchiver.h>
#include <foundation/NSPropertyListSerialization.h>

#include <support/EncodedFiles.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

// A key code and modifier flags, coded the way shortcuts are stored.
class ArchiveTestShortcut : public NSObject, public NSCoding {
public:
    ArchiveTestShortcut(int64_t keyCode, uint64_t flags)
        : keyCode(keyCode)
        , flags(flags)
    {
    }
    void encodeWithCoder(NSCoder& coder) const override
    {
        coder.encodeInteger(keyCode, "KeyCode");
        coder.encodeInteger(static_cast<int64_t>(flags), "ModifierFlags");
    }
    // Refuses an archive without a key code rather than reading it as 0.
    static Ref<ArchiveTestShortcut> initWithCoder(NSCoder& coder)
    {
        if (!coder.containsValueForKey("KeyCode"))
            return nullptr;
        return makeRef<ArchiveTestShortcut>(
            coder.decodeIntegerForKey("KeyCode"), static_cast<uint64_t>(coder.decodeIntegerForKey("ModifierFlags")));
    }
    int64_t keyCode;
    uint64_t flags;
};

// Every kind of field, and references to other objects.
class ArchiveTestNode : public NSObject, public NSCoding {
public:
    std::string name;
    bool flag { false };
    double weight { 0 };
    Value payload;
    std::vector<Ref<ArchiveTestNode>> children;
    Ref<ArchiveTestShortcut> shortcut;
    Ref<ArchiveTestNode> link;

    void encodeWithCoder(NSCoder& coder) const override
    {
        coder.encodeObject(name, "name");
        coder.encodeBool(flag, "flag");
        coder.encodeDouble(weight, "weight");
        coder.encodeObject(payload, "payload");
        Value::Array kids;
        for (const auto& child : children)
            kids.push_back(Value(child));
        coder.encodeObject(Value(kids), "children");
        coder.encodeObject(Value(shortcut), "shortcut");
        coder.encodeObject(Value(link), "link");
        coder.encodeInteger(7, "$class");
    }
    static Ref<ArchiveTestNode> initWithCoder(NSCoder& coder)
    {
        auto node = makeRef<ArchiveTestNode>();
        node->name = coder.decodeStringForKey("name").value_or("");
        node->flag = coder.decodeBoolForKey("flag");
        node->weight = coder.decodeDoubleForKey("weight");
        node->payload = coder.decodeObjectForKey("payload");
        Value kids = coder.decodeObjectOfClasses({ NSArrayClassName, codingClassName<ArchiveTestNode>() }, "children");
        for (size_t i = 0; i < kids.count(); ++i)
            if (auto child = kids.at(i).objectAs<ArchiveTestNode>())
                node->children.push_back(child);
        node->shortcut = coder.decodeObjectOfClass<ArchiveTestShortcut>("shortcut");
        node->link = coder.decodeObjectOfClass<ArchiveTestNode>("link");
        if (coder.decodeIntegerForKey("$class") != 7)
            coder.failWithError("the escaped key did not come back");
        return node;
    }
};

class NotCoding : public NSObject { };

Value archiveAsPlist(const Value::Bytes& data)
{
    auto plist = NSPropertyListSerialization::propertyListWithData(data);
    EXPECT_TRUE(plist);
    return plist.value_or(Value());
}

int64_t uid(const Value& reference) { return reference["CF$UID"].integerValue(); }

} // namespace

TEST(NSKeyedArchiver, WritesThePlatformArchiveLayout)
{
    auto data = NSKeyedArchiver::archivedDataWithRootObject(Value(makeRef<ArchiveTestShortcut>(50, 0x80000)));
    ASSERT_TRUE(data);
    ASSERT_GE(data->size(), 8u);
    EXPECT_EQ(std::string(data->begin(), data->begin() + 8), "bplist00");

    Value archive = archiveAsPlist(*data);
    EXPECT_EQ(archive["$archiver"], Value("NSKeyedArchiver"));
    EXPECT_EQ(archive["$version"], Value(100000));
    const Value& objects = archive["$objects"];
    ASSERT_TRUE(objects.isArray());
    EXPECT_EQ(objects.at(0), Value("$null"));
    int64_t root = uid(archive["$top"]["root"]);
    ASSERT_GT(root, 0);
    const Value& shortcut = objects.at(root);
    EXPECT_EQ(shortcut["KeyCode"], Value(50));
    EXPECT_EQ(shortcut["ModifierFlags"], Value(0x80000));
    EXPECT_EQ(shortcut["KeyCode"].type(), Value::Type::Integer);
    const Value& description = objects.at(uid(shortcut["$class"]));
    EXPECT_EQ(description["$classname"], Value("ArchiveTestShortcut"));
    EXPECT_EQ(description["$classes"], Value(Value::Array { Value("ArchiveTestShortcut"), Value("NSObject") }));
}

TEST(NSKeyedArchiver, RoundTripsAnObjectRestrictedToItsClass)
{
    for (int64_t keyCode : { int64_t(0), int64_t(50), int64_t(-1), std::numeric_limits<int64_t>::max() }) {
        auto data = NSKeyedArchiver::archivedDataWithRootObject(Value(makeRef<ArchiveTestShortcut>(keyCode, 0x1E0000)));
        ASSERT_TRUE(data);
        auto back = NSKeyedUnarchiver::unarchivedObjectOfClass<ArchiveTestShortcut>(*data);
        ASSERT_TRUE(back) << keyCode;
        EXPECT_EQ(back->keyCode, keyCode);
        EXPECT_EQ(back->flags, 0x1E0000u);
    }
}

TEST(NSKeyedArchiver, RoundTripsNestedObjectsFieldsAndPlainValues)
{
    auto leaf = makeRef<ArchiveTestNode>();
    leaf->name = "leaf";
    auto root = makeRef<ArchiveTestNode>();
    root->name = "$null";
    root->flag = true;
    root->weight = -2.5;
    root->payload = Value(Value::Dictionary {
        { "list", Value(Value::Array { Value(1), Value("two"), Value(), Value(3.5), Value(true) }) },
        { "data", Value(Value::Bytes { 0, 1, 2 }) },
        { "when", Value(NSDate { 788918400.125 }) },
        { "text", Value("caf\xc3\xa9") },
    });
    root->children = { leaf, leaf };
    root->shortcut = makeRef<ArchiveTestShortcut>(48, 0x100000);
    root->link = leaf;

    auto data = NSKeyedArchiver::archivedDataWithRootObject(Value(root));
    ASSERT_TRUE(data);
    std::string error;
    // The children list names the node class, which must be registered for that.
    LogCapture log;
    EXPECT_FALSE(NSKeyedUnarchiver::unarchivedObjectOfClass<ArchiveTestNode>(*data, &error));
    EXPECT_NE(error.find("cannot decode"), std::string::npos) << error;
    NSKeyedUnarchiver::registerClass<ArchiveTestNode>();
    auto back = NSKeyedUnarchiver::unarchivedObjectOfClass<ArchiveTestNode>(*data, &error);
    NSKeyedUnarchiver::setClass("ArchiveTestNode", nullptr);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->name, "$null");
    EXPECT_TRUE(back->flag);
    EXPECT_EQ(back->weight, -2.5);
    EXPECT_EQ(back->payload, root->payload) << back->payload.description();
    ASSERT_EQ(back->children.size(), 2u);
    EXPECT_EQ(back->children[0]->name, "leaf");
    // One object archived three times comes back as one object.
    EXPECT_EQ(back->children[0], back->children[1]);
    EXPECT_EQ(back->link, back->children[0]);
    ASSERT_TRUE(back->shortcut);
    EXPECT_EQ(back->shortcut->keyCode, 48);
    EXPECT_FALSE(back->children[0]->shortcut);
    EXPECT_FALSE(back->children[0]->link);
}

TEST(NSKeyedArchiver, UnrestrictedDecodingBuildsOnlyRegisteredClasses)
{
    auto data = NSKeyedArchiver::archivedDataWithRootObject(Value(makeRef<ArchiveTestShortcut>(12, 0x100000)));
    ASSERT_TRUE(data);
    NSKeyedUnarchiver::setClass("ArchiveTestShortcut", nullptr);
    {
        LogCapture log;
        EXPECT_TRUE(NSKeyedUnarchiver::unarchiveObjectWithData(*data).isNil());
        EXPECT_TRUE(log.contains("ArchiveTestShortcut")) << (log.lines().empty() ? "" : log.lines()[0]);
    }
    NSKeyedUnarchiver::registerClass<ArchiveTestShortcut>();
    auto back = NSKeyedUnarchiver::unarchiveObjectWithData(*data).objectAs<ArchiveTestShortcut>();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->keyCode, 12);
    NSKeyedUnarchiver::setClass("ArchiveTestShortcut", nullptr);
}

TEST(NSKeyedArchiver, RefusesAForeignClass)
{
    auto node = makeRef<ArchiveTestNode>();
    node->name = "impostor";
    auto data = NSKeyedArchiver::archivedDataWithRootObject(Value(node));
    ASSERT_TRUE(data);
    NSKeyedUnarchiver::registerClass<ArchiveTestNode>();
    LogCapture log;
    std::string error;
    EXPECT_FALSE(NSKeyedUnarchiver::unarchivedObjectOfClass<ArchiveTestShortcut>(*data, &error));
    EXPECT_NE(error.find("ArchiveTestNode"), std::string::npos) << error;
    EXPECT_TRUE(log.contains("could not decode"));
    // Plain values are refused where an object class is expected, and the
    // other way round.
    auto text = NSKeyedArchiver::archivedDataWithRootObject(Value("text"));
    ASSERT_TRUE(text);
    EXPECT_FALSE(NSKeyedUnarchiver::unarchivedObjectOfClass<ArchiveTestShortcut>(*text));
    EXPECT_TRUE(NSKeyedUnarchiver::unarchivedObjectOfClasses({ NSArrayClassName }, *text).isNil());
    EXPECT_EQ(NSKeyedUnarchiver::unarchivedObjectOfClasses({ NSStringClassName }, *text), Value("text"));
    NSKeyedUnarchiver::setClass("ArchiveTestNode", nullptr);
}

TEST(NSKeyedArchiver, RestrictedCollectionsCheckEveryElement)
{
    Value strings(Value::Array { Value("a"), Value("b") });
    auto data = NSKeyedArchiver::archivedDataWithRootObject(strings);
    ASSERT_TRUE(data);
    EXPECT_EQ(NSKeyedUnarchiver::unarchivedObjectOfClasses({ NSArrayClassName, NSStringClassName }, *data), strings);
    EXPECT_TRUE(NSKeyedUnarchiver::unarchivedObjectOfClasses({ NSArrayClassName }, *data).isNil());

    Value mixed(Value::Dictionary {
        { "n", Value(1) }, { "s", Value(Value::Array { Value(makeRef<ArchiveTestShortcut>(1, 0)) }) } });
    auto mixedData = NSKeyedArchiver::archivedDataWithRootObject(mixed);
    ASSERT_TRUE(mixedData);
    std::set<std::string> plain { NSDictionaryClassName, NSStringClassName, NSNumberClassName, NSArrayClassName };
    EXPECT_TRUE(NSKeyedUnarchiver::unarchivedObjectOfClasses(plain, *mixedData).isNil());
    plain.insert("ArchiveTestShortcut");
    NSKeyedUnarchiver::registerClass<ArchiveTestShortcut>();
    Value back = NSKeyedUnarchiver::unarchivedObjectOfClasses(plain, *mixedData);
    ASSERT_TRUE(back.isDictionary());
    EXPECT_EQ(back["s"].at(0).objectAs<ArchiveTestShortcut>()->keyCode, 1);
    NSKeyedUnarchiver::setClass("ArchiveTestShortcut", nullptr);
}

TEST(NSKeyedArchiver, MissingKeysDecodeAsZeroAndCanBeRefused)
{
    // An archive written by hand: a shortcut without "KeyCode".
    Value archive(Value::Dictionary {
        { "$archiver", Value("NSKeyedArchiver") },
        { "$version", Value(100000) },
        { "$top", Value(Value::Dictionary { { "root", Value(Value::Dictionary { { "CF$UID", Value(1) } }) } }) },
        { "$objects",
            Value(Value::Array {
                Value("$null"),
                Value(Value::Dictionary { { "ModifierFlags", Value(0x80000) },
                    { "$class", Value(Value::Dictionary { { "CF$UID", Value(2) } }) } }),
                Value(Value::Dictionary { { "$classname", Value("ArchiveTestShortcut") },
                    { "$classes", Value(Value::Array { Value("ArchiveTestShortcut"), Value("NSObject") }) } }),
            }) },
    });
    auto data = NSPropertyListSerialization::dataWithPropertyList(archive, NSPropertyListBinaryFormat_v1_0);
    ASSERT_TRUE(data);
    EXPECT_FALSE(NSKeyedUnarchiver::unarchivedObjectOfClass<ArchiveTestShortcut>(*data));

    auto coder = NSKeyedUnarchiver::initForReadingFromData(*data);
    ASSERT_TRUE(coder);
    EXPECT_FALSE(coder->containsValueForKey("missing"));
    EXPECT_EQ(coder->decodeIntegerForKey("missing"), 0);
    EXPECT_FALSE(coder->decodeBoolForKey("missing"));
    EXPECT_EQ(coder->decodeDoubleForKey("missing"), 0.0);
    EXPECT_TRUE(coder->decodeObjectForKey("missing").isNil());
    EXPECT_FALSE(coder->hasFailed());

    // The same archive in the XML form, whose references are CF$UID dictionaries.
    auto xml = NSPropertyListSerialization::dataWithPropertyList(archive, NSPropertyListXMLFormat_v1_0);
    ASSERT_TRUE(xml);
    ASSERT_NE(std::string(xml->begin(), xml->end()).find("CF$UID"), std::string::npos);
    auto fromXML = NSKeyedUnarchiver::initForReadingFromData(*xml);
    ASSERT_TRUE(fromXML);
    EXPECT_TRUE(fromXML->containsValueForKey("root"));
}

TEST(NSKeyedArchiver, AValueOfTheWrongTypeFailsTheDecode)
{
    class Texty : public NSObject, public NSCoding {
    public:
        void encodeWithCoder(NSCoder& coder) const override { coder.encodeObject(Value("fifty"), "KeyCode"); }
    };
    auto data = NSKeyedArchiver::archivedDataWithRootObject(Value(makeRef<Texty>()));
    ASSERT_TRUE(data);
    // Rename the archived class so the shortcut decoder reads it.
    Value archive = archiveAsPlist(*data);
    auto objects = *archive["$objects"].array();
    for (auto& object : objects)
        if (object["$classname"].isString()) {
            auto description = *object.dictionary();
            description["$classname"] = Value("ArchiveTestShortcut");
            object = Value(description);
        }
    auto dict = *archive.dictionary();
    dict["$objects"] = Value(objects);
    auto renamed = NSPropertyListSerialization::dataWithPropertyList(Value(dict), NSPropertyListBinaryFormat_v1_0);
    ASSERT_TRUE(renamed);
    std::string error;
    LogCapture log;
    EXPECT_FALSE(NSKeyedUnarchiver::unarchivedObjectOfClass<ArchiveTestShortcut>(*renamed, &error));
    EXPECT_NE(error.find("KeyCode"), std::string::npos) << error;
}

TEST(NSKeyedArchiver, GarbageAndTruncatedDataGiveNullAndALogLine)
{
    auto node = makeRef<ArchiveTestNode>();
    node->name = "root";
    node->payload = Value(Value::Array { Value(1), Value("x") });
    node->shortcut = makeRef<ArchiveTestShortcut>(1, 2);
    auto data = NSKeyedArchiver::archivedDataWithRootObject(Value(node));
    ASSERT_TRUE(data);

    LogCapture log;
    for (size_t length = 0; length < data->size(); ++length) {
        Value::Bytes prefix(data->begin(), data->begin() + length);
        EXPECT_FALSE(NSKeyedUnarchiver::unarchivedObjectOfClass<ArchiveTestNode>(prefix)) << length;
    }
    EXPECT_EQ(log.count("could not decode"), data->size());

    for (const char* garbage : { "", "garbage", "<plist><string>x</string></plist>" }) {
        Value::Bytes bytes(garbage, garbage + std::strlen(garbage));
        EXPECT_FALSE(NSKeyedUnarchiver::unarchivedObjectOfClass<ArchiveTestNode>(bytes));
        EXPECT_TRUE(NSKeyedUnarchiver::unarchiveObjectWithData(bytes).isNil());
    }
    // A property list that is no archive.
    auto plain = NSPropertyListSerialization::dataWithPropertyList(
        Value(Value::Dictionary { { "$top", Value(1) } }), NSPropertyListBinaryFormat_v1_0);
    EXPECT_TRUE(NSKeyedUnarchiver::unarchiveObjectWithData(*plain).isNil());

    std::mt19937 random(7);
    NSKeyedUnarchiver::registerClass<ArchiveTestNode>();
    NSKeyedUnarchiver::registerClass<ArchiveTestShortcut>();
    for (int round = 0; round < 3000; ++round) {
        Value::Bytes damaged = *data;
        damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
        NSKeyedUnarchiver::unarchiveObjectWithData(damaged);
        NSKeyedUnarchiver::unarchivedObjectOfClass<ArchiveTestNode>(damaged);
    }
    NSKeyedUnarchiver::setClass("ArchiveTestNode", nullptr);
    NSKeyedUnarchiver::setClass("ArchiveTestShortcut", nullptr);
}

TEST(NSKeyedArchiver, CyclesArchiveButDoNotDecode)
{
    auto node = makeRef<ArchiveTestNode>();
    node->name = "loop";
    node->link = node;
    auto data = NSKeyedArchiver::archivedDataWithRootObject(Value(node));
    ASSERT_TRUE(data);
    Value archive = archiveAsPlist(*data);
    int64_t root = uid(archive["$top"]["root"]);
    EXPECT_EQ(uid(archive["$objects"].at(root)["link"]), root);
    node->link = nullptr;

    std::string error;
    LogCapture log;
    EXPECT_FALSE(NSKeyedUnarchiver::unarchivedObjectOfClass<ArchiveTestNode>(*data, &error));
    EXPECT_NE(error.find("still being decoded"), std::string::npos) << error;
}

TEST(NSKeyedArchiver, RefusesObjectsNestedTooDeeplyInBothDirections)
{
    auto head = makeRef<ArchiveTestNode>();
    auto tail = head;
    for (int i = 0; i < 300; ++i) {
        tail->link = makeRef<ArchiveTestNode>();
        tail = tail->link;
    }
    LogCapture log;
    std::string error;
    EXPECT_FALSE(NSKeyedArchiver::archivedDataWithRootObject(Value(head), &error));
    EXPECT_NE(error.find("deeply"), std::string::npos) << error;

    // A chain of references written by hand: the property list is flat, the
    // object graph is not.
    Value::Array objects { Value("$null") };
    const int depth = 300;
    for (int i = 1; i <= depth; ++i) {
        Value::Dictionary object { { "$class", Value(Value::Dictionary { { "CF$UID", Value(depth + 1) } }) } };
        if (i < depth)
            object["link"] = Value(Value::Dictionary { { "CF$UID", Value(i + 1) } });
        objects.emplace_back(std::move(object));
    }
    objects.push_back(Value(Value::Dictionary { { "$classname", Value("ArchiveTestNode") } }));
    Value archive(Value::Dictionary { { "$archiver", Value("NSKeyedArchiver") }, { "$version", Value(100000) },
        { "$top", Value(Value::Dictionary { { "root", Value(Value::Dictionary { { "CF$UID", Value(1) } }) } }) },
        { "$objects", Value(objects) } });
    auto data = NSPropertyListSerialization::dataWithPropertyList(archive, NSPropertyListBinaryFormat_v1_0);
    ASSERT_TRUE(data);
    EXPECT_FALSE(NSKeyedUnarchiver::unarchivedObjectOfClass<ArchiveTestNode>(*data, &error));
    EXPECT_NE(error.find("deeply"), std::string::npos) << error;
}

TEST(NSKeyedArchiver, SharedElementsDecodeOnceAndCopiesStayBounded)
{
    // Arrays that each hold the next one twice: a flat archive of `depth`
    // objects whose values double at every level.
    auto chain = [](int depth) {
        auto data = sharedArrayArchive(depth);
        EXPECT_FALSE(data.empty());
        return data;
    };
    Value small = NSKeyedUnarchiver::unarchiveObjectWithData(chain(10));
    const Value* v = &small;
    for (int level = 0; level < 10; ++level) {
        ASSERT_EQ(v->count(), 2u) << "level " << level;
        EXPECT_EQ(v->at(0), v->at(1));
        v = &v->at(0);
    }
    EXPECT_EQ(*v, Value("leaf"));

    // Archived again, the equal arrays are one object each: 10 arrays, the
    // leaf, "$null" and one class, not the 2^11 objects of the copies.
    auto again = NSKeyedArchiver::archivedDataWithRootObject(small);
    ASSERT_TRUE(again);
    auto archive = NSPropertyListSerialization::propertyListWithData(*again);
    ASSERT_TRUE(archive);
    EXPECT_EQ((*archive)["$objects"].count(), 13u);
    EXPECT_EQ(NSKeyedUnarchiver::unarchiveObjectWithData(*again), small);

    LogCapture log;
    std::string error;
    EXPECT_TRUE(NSKeyedUnarchiver::unarchiveObjectWithData(chain(60), &error).isNil());
    EXPECT_NE(error.find("archive expands"), std::string::npos) << error;
}

TEST(NSKeyedArchiver, RefusesObjectsThatDoNotArchive)
{
    LogCapture log;
    std::string error;
    EXPECT_FALSE(NSKeyedArchiver::archivedDataWithRootObject(Value(makeRef<NotCoding>()), &error));
    EXPECT_NE(error.find("NotCoding"), std::string::npos);
    EXPECT_FALSE(NSKeyedArchiver::archivedDataWithRootObject(Value(std::string("bad\xff"))));
    EXPECT_TRUE(log.contains("could not archive"));

    // A nil root is a valid archive of nil.
    auto nilData = NSKeyedArchiver::archivedDataWithRootObject(Value());
    ASSERT_TRUE(nilData);
    EXPECT_EQ(uid(archiveAsPlist(*nilData)["$top"]["root"]), 0);
}
