#include "NSKeyedArchiver.h"

#include "KeyedArchiveFormat.h"
#include "Log.h"
#include "PlistSupport.h"

#include <cstring>

using namespace KeyedArchive;

NSKeyedArchiver::NSKeyedArchiver()
    : m_top(plist_new_dict())
    , m_objects(plist_new_array())
{
    plist_array_append_item(m_objects, plist_new_string(kNull));
}

NSKeyedArchiver::~NSKeyedArchiver()
{
    // Once finished, both trees belong to the archive root, already freed.
    if (!m_finished) {
        plist_free(m_top);
        plist_free(m_objects);
    }
}

std::optional<Value::Bytes> NSKeyedArchiver::archivedDataWithRootObject(const Value& root, std::string* error)
{
    NSKeyedArchiver archiver;
    archiver.encodeObject(root, kRootKey);
    std::string why;
    auto data = archiver.encodedData(&why);
    if (!data) {
        NSLog("NSKeyedArchiver: could not archive %@: %@", root, why);
        if (error)
            *error = why;
    }
    return data;
}

plist_t NSKeyedArchiver::currentContainer() const { return m_containers.empty() ? m_top : m_containers.back(); }

void NSKeyedArchiver::setItem(const std::string& key, plist_t item)
{
    plist_dict_set_item(currentContainer(), escapedKey(key).c_str(), item);
}

bool NSKeyedArchiver::ready(const char* method)
{
    if (m_finished) {
        NSLog("*** -[NSKeyedArchiver %s]: the archive is already finished", method);
        return false;
    }
    return !hasFailed();
}

void NSKeyedArchiver::fail(const std::string& description) { failWithError(description); }

void NSKeyedArchiver::encodeInteger(int64_t value, const std::string& key)
{
    if (ready("encodeInteger:forKey:"))
        setItem(key, plist_new_uint(static_cast<uint64_t>(value)));
}

void NSKeyedArchiver::encodeBool(bool value, const std::string& key)
{
    if (ready("encodeBool:forKey:"))
        setItem(key, plist_new_bool(value ? 1 : 0));
}

void NSKeyedArchiver::encodeDouble(double value, const std::string& key)
{
    if (ready("encodeDouble:forKey:"))
        setItem(key, plist_new_real(value));
}

void NSKeyedArchiver::encodeObject(const Value& object, const std::string& key)
{
    if (!ready("encodeObject:forKey:"))
        return;
    m_shapesByAddress.emplace_back();
    uint64_t reference = encodeValue(object);
    m_shapesByAddress.pop_back();
    if (!hasFailed())
        setItem(key, plist_new_uid(reference));
}

uint64_t NSKeyedArchiver::append(plist_t node)
{
    uint64_t index = plist_array_get_size(m_objects);
    plist_array_append_item(m_objects, node);
    return index;
}

uint64_t NSKeyedArchiver::classReference(const std::string& className, const std::vector<std::string>& hierarchy)
{
    if (auto it = m_classReferences.find(className); it != m_classReferences.end())
        return it->second;
    plist_t description = plist_new_dict();
    plist_t classes = plist_new_array();
    for (const auto& name : hierarchy)
        plist_array_append_item(classes, plist_new_string(name.c_str()));
    plist_dict_set_item(description, kClassesKey, classes);
    plist_dict_set_item(description, kClassNameKey, plist_new_string(className.c_str()));
    uint64_t index = append(description);
    m_classReferences.emplace(className, index);
    return index;
}

uint64_t NSKeyedArchiver::shapeOf(const Value& value, size_t depth)
{
    auto& known = m_shapesByAddress.back();
    if (auto it = known.find(&value); it != known.end())
        return it->second;
    if (depth >= kMaxObjectDepth) {
        fail("the object graph is nested too deeply");
        return 0;
    }
    auto appendNumber = [](std::string& key, uint64_t number) {
        key.append(reinterpret_cast<const char*>(&number), sizeof number);
    };
    auto appendDouble = [&](std::string& key, double number) {
        uint64_t bits;
        std::memcpy(&bits, &number, sizeof bits);
        appendNumber(key, bits);
    };
    std::string key(1, static_cast<char>(value.type()));
    switch (value.type()) {
    case Value::Type::Nil:
        break;
    case Value::Type::Bool:
        key += value.boolValue() ? '1' : '0';
        break;
    case Value::Type::Integer:
        appendNumber(key, static_cast<uint64_t>(value.integerValue()));
        break;
    case Value::Type::Double:
        appendDouble(key, value.doubleValue());
        break;
    case Value::Type::Date:
        appendDouble(key, value.date()->timeIntervalSinceReferenceDate);
        break;
    case Value::Type::String:
        key += *value.string();
        break;
    case Value::Type::Data: {
        const auto& bytes = *value.data();
        key.append(bytes.begin(), bytes.end());
        break;
    }
    case Value::Type::Array:
        for (const auto& element : *value.array())
            appendNumber(key, shapeOf(element, depth + 1));
        break;
    case Value::Type::Dictionary:
        for (const auto& [name, element] : *value.dictionary()) {
            appendNumber(key, name.size());
            key += name;
            appendNumber(key, shapeOf(element, depth + 1));
        }
        break;
    case Value::Type::Object:
        appendNumber(key, reinterpret_cast<uintptr_t>(value.object().get()));
        break;
    }
    uint64_t number = m_shapeNumbers.try_emplace(std::move(key), m_shapeNumbers.size()).first->second;
    known.emplace(&value, number);
    return number;
}

uint64_t NSKeyedArchiver::encodeCollectionObject(
    const std::string& className, const std::vector<const Value*>& keys, const std::vector<const Value*>& objects)
{
    // The container is entered before its elements, as the platform does, so
    // that its reference is smaller than theirs.
    plist_t dict = plist_new_dict();
    uint64_t index = append(dict);
    auto referenceArray = [&](const std::vector<const Value*>& values) {
        plist_t array = plist_new_array();
        for (const Value* value : values) {
            uint64_t reference = encodeValue(*value);
            if (hasFailed())
                break;
            plist_array_append_item(array, plist_new_uid(reference));
        }
        return array;
    };
    if (className == NSDictionaryClassName)
        plist_dict_set_item(dict, kDictionaryKeysKey, referenceArray(keys));
    plist_dict_set_item(dict, kArrayObjectsKey, referenceArray(objects));
    plist_dict_set_item(dict, kClassKey, plist_new_uid(classReference(className, { className, "NSObject" })));
    return index;
}

uint64_t NSKeyedArchiver::encodeValue(const Value& value)
{
    if (hasFailed())
        return 0;
    if (m_depth >= kMaxObjectDepth) {
        fail("the object graph is nested too deeply");
        return 0;
    }
    struct DepthScope {
        size_t& depth;
        explicit DepthScope(size_t& d)
            : depth(d)
        {
            ++depth;
        }
        ~DepthScope() { --depth; }
    } scope(m_depth);

    switch (value.type()) {
    case Value::Type::Nil:
        return 0;
    case Value::Type::Bool:
    case Value::Type::Integer:
    case Value::Type::Double:
    case Value::Type::Data: {
        std::string why;
        auto node = plistFromValue(value, &why);
        if (!node) {
            fail(why);
            return 0;
        }
        return append(node.release());
    }
    case Value::Type::String: {
        const std::string& s = *value.string();
        if (auto it = m_stringReferences.find(s); it != m_stringReferences.end())
            return it->second;
        std::string why;
        auto node = plistFromValue(value, &why);
        if (!node) {
            fail(why);
            return 0;
        }
        uint64_t index;
        if (s == kNull) {
            // A bare "$null" would read back as nil; the object form keeps it a string.
            plist_t dict = plist_new_dict();
            plist_dict_set_item(dict, kStringKey, node.release());
            index = append(dict);
            plist_dict_set_item(
                dict, kClassKey, plist_new_uid(classReference(NSStringClassName, { NSStringClassName, "NSObject" })));
        } else {
            index = append(node.release());
        }
        m_stringReferences.emplace(s, index);
        return index;
    }
    case Value::Type::Date: {
        plist_t dict = plist_new_dict();
        plist_dict_set_item(dict, kTimeKey, plist_new_real(value.date()->timeIntervalSinceReferenceDate));
        uint64_t index = append(dict);
        plist_dict_set_item(
            dict, kClassKey, plist_new_uid(classReference(NSDateClassName, { NSDateClassName, "NSObject" })));
        return index;
    }
    case Value::Type::Array:
    case Value::Type::Dictionary:
        break;
    case Value::Type::Object: {
        auto object = value.object();
        if (auto it = m_objectReferences.find(object); it != m_objectReferences.end())
            return it->second;
        auto coding = dynamic_cast<const NSCoding*>(object.get());
        if (!coding) {
            fail("objects of class " + object->className() + " cannot be archived");
            return 0;
        }
        plist_t dict = plist_new_dict();
        uint64_t index = append(dict);
        // Registered before its fields, so an object that refers back to
        // itself through them gets its own reference.
        m_objectReferences.emplace(object, index);
        m_containers.push_back(dict);
        coding->encodeWithCoder(*this);
        m_containers.pop_back();
        std::string className = object->className();
        plist_dict_set_item(dict, kClassKey, plist_new_uid(classReference(className, { className, "NSObject" })));
        return index;
    }
    }

    uint64_t shape = shapeOf(value, m_depth);
    if (hasFailed())
        return 0;
    if (auto it = m_collectionReferences.find(shape); it != m_collectionReferences.end())
        return it->second;
    uint64_t index;
    if (const auto* array = value.array()) {
        std::vector<const Value*> objects;
        for (const auto& element : *array)
            objects.push_back(&element);
        index = encodeCollectionObject(NSArrayClassName, {}, objects);
    } else {
        std::vector<Value> keyValues;
        keyValues.reserve(value.dictionary()->size());
        std::vector<const Value*> keys, objects;
        for (const auto& [key, element] : *value.dictionary()) {
            keyValues.emplace_back(key);
            objects.push_back(&element);
        }
        for (const auto& key : keyValues)
            keys.push_back(&key);
        index = encodeCollectionObject(NSDictionaryClassName, keys, objects);
    }
    if (!hasFailed())
        m_collectionReferences.emplace(shape, index);
    return index;
}

std::optional<Value::Bytes> NSKeyedArchiver::encodedData(std::string* error)
{
    if (!m_finished) {
        m_finished = true;
        PlistPtr root(plist_new_dict());
        plist_dict_set_item(root.get(), kVersionKey, plist_new_uint(kVersion));
        plist_dict_set_item(root.get(), kArchiverKey, plist_new_string(kArchiverName));
        plist_dict_set_item(root.get(), kTopKey, m_top);
        plist_dict_set_item(root.get(), kObjectsKey, m_objects);
        if (!hasFailed()) {
            std::string why;
            m_encoded = serializePropertyList(root.get(), NSPropertyListBinaryFormat_v1_0, &why);
            if (!m_encoded)
                fail(why);
        }
    }
    if (!m_encoded && error)
        *error = this->error();
    return m_encoded;
}
