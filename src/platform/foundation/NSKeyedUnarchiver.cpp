#include "NSKeyedUnarchiver.h"

#include "KeyedArchiveFormat.h"
#include "Log.h"
#include "PlistSupport.h"

#include <cstdlib>
#include <mutex>

using namespace KeyedArchive;

namespace {

std::mutex gClassTableMutex;

std::map<std::string, NSKeyedUnarchiver::Factory>& classTable()
{
    static auto* table = new std::map<std::string, NSKeyedUnarchiver::Factory>();
    return *table;
}

NSKeyedUnarchiver::Factory registeredFactory(const std::string& className)
{
    std::lock_guard lock(gClassTableMutex);
    auto it = classTable().find(className);
    return it == classTable().end() ? nullptr : it->second;
}

// Mutable variants decode as the plain value of their immutable class.
std::string plainClassName(const std::string& className)
{
    if (className == NSStringClassName || className == "NSMutableString")
        return NSStringClassName;
    if (className == NSDataClassName || className == "NSMutableData")
        return NSDataClassName;
    if (className == NSArrayClassName || className == "NSMutableArray")
        return NSArrayClassName;
    if (className == NSDictionaryClassName || className == "NSMutableDictionary")
        return NSDictionaryClassName;
    if (className == NSDateClassName)
        return NSDateClassName;
    return {};
}

bool isNumberNode(plist_t node)
{
    auto type = plist_get_node_type(node);
    return type == PLIST_UINT || type == PLIST_REAL || type == PLIST_BOOLEAN;
}

bool uidValue(plist_t node, uint64_t* out) { return plistUIDValue(node, out); }

}

void NSKeyedUnarchiver::setClass(const std::string& className, Factory factory)
{
    std::lock_guard lock(gClassTableMutex);
    if (factory)
        classTable()[className] = std::move(factory);
    else
        classTable().erase(className);
}

bool NSKeyedUnarchiver::isClassRegistered(const std::string& className)
{
    return registeredFactory(className) != nullptr;
}

NSKeyedUnarchiver::NSKeyedUnarchiver(plist_t root, plist_t objects, plist_t top)
    : m_root(root)
    , m_objects(objects)
    , m_top(top)
{
}

NSKeyedUnarchiver::~NSKeyedUnarchiver() { plist_free(m_root); }

Ref<NSKeyedUnarchiver> NSKeyedUnarchiver::initForReadingFromData(const Value::Bytes& data, std::string* error)
{
    std::string why;
    // The archives read here are the program's own small objects (its
    // shortcuts, from the settings): one that expands to more than such
    // objects hold is refused before it is built.
    auto tree = parsePropertyListData(data.data(), data.size(), nullptr, &why, nullptr, kMaxSmallPropertyListNodes);
    if (tree) {
        plist_t root = tree.get();
        plist_t objects = nullptr;
        plist_t top = nullptr;
        int64_t version = 0;
        if (plist_get_node_type(root) != PLIST_DICT
            || plistStringValue(plist_dict_get_item(root, kArchiverKey)) != kArchiverName)
            why = "the property list is not a keyed archive";
        else if (!plistIntegerValue(plist_dict_get_item(root, kVersionKey), &version))
            why = "the keyed archive has no version";
        else if (!(objects = plist_dict_get_item(root, kObjectsKey)) || plist_get_node_type(objects) != PLIST_ARRAY
            || plist_array_get_size(objects) == 0)
            why = "the keyed archive has no object table";
        else if (!(top = plist_dict_get_item(root, kTopKey)) || plist_get_node_type(top) != PLIST_DICT)
            why = "the keyed archive has no top-level dictionary";
        else
            return Ref<NSKeyedUnarchiver>(new NSKeyedUnarchiver(tree.release(), objects, top));
    }
    if (error)
        *error = why;
    return nullptr;
}

Value NSKeyedUnarchiver::finish(
    NSKeyedUnarchiver* coder, Value value, const std::string& parseError, std::string* error)
{
    std::string why = coder ? coder->error() : parseError;
    if (why.empty())
        return value;
    NSLog("NSKeyedUnarchiver: could not decode the archive: %@", why);
    if (error)
        *error = why;
    return {};
}

Value NSKeyedUnarchiver::unarchiveObjectWithData(const Value::Bytes& data, std::string* error)
{
    std::string why;
    auto coder = initForReadingFromData(data, &why);
    if (!coder)
        return finish(nullptr, {}, why, error);
    if (!coder->containsValueForKey(kRootKey))
        coder->failWithError("the archive has no root object");
    auto value = coder->decodeObjectForKey(kRootKey);
    return finish(coder.get(), std::move(value), {}, error);
}

Value NSKeyedUnarchiver::unarchivedObjectOfClasses(
    const std::set<std::string>& classNames, const Value::Bytes& data, std::string* error)
{
    std::string why;
    auto coder = initForReadingFromData(data, &why);
    if (!coder)
        return finish(nullptr, {}, why, error);
    coder->setRequiresSecureCoding(true);
    if (!coder->containsValueForKey(kRootKey))
        coder->failWithError("the archive has no root object");
    auto value = coder->decodeObjectOfClasses(classNames, kRootKey);
    return finish(coder.get(), std::move(value), {}, error);
}

Value NSKeyedUnarchiver::unarchivedRootObject(
    const std::string& className, Factory factory, const Value::Bytes& data, std::string* error)
{
    std::string why;
    auto coder = initForReadingFromData(data, &why);
    if (!coder)
        return finish(nullptr, {}, why, error);
    coder->setRequiresSecureCoding(true);
    if (!coder->containsValueForKey(kRootKey))
        coder->failWithError("the archive has no root object");
    auto value = coder->decodeRegisteredObject(className, std::move(factory), kRootKey);
    return finish(coder.get(), std::move(value), {}, error);
}

plist_t NSKeyedUnarchiver::lookup(const std::string& key) const
{
    plist_t container = m_containers.empty() ? m_top : m_containers.back();
    return plist_dict_get_item(container, escapedKey(key).c_str());
}

bool NSKeyedUnarchiver::containsValueForKey(const std::string& key) const { return lookup(key) != nullptr; }

plist_t NSKeyedUnarchiver::numberNode(const std::string& key, const char* what)
{
    if (hasFailed())
        return nullptr;
    plist_t node = lookup(key);
    if (!node)
        return nullptr;
    uint64_t index;
    if (uidValue(node, &index) && index < plist_array_get_size(m_objects))
        node = plist_array_get_item(m_objects, static_cast<uint32_t>(index));
    if (!isNumberNode(node)) {
        failWithError("the value for key \"" + key + "\" is not " + what);
        return nullptr;
    }
    return node;
}

int64_t NSKeyedUnarchiver::decodeIntegerForKey(const std::string& key)
{
    plist_t node = numberNode(key, "an integer");
    if (!node)
        return 0;
    auto value = valueFromPlist(node, nullptr);
    return value ? value->integerValue() : 0;
}

bool NSKeyedUnarchiver::decodeBoolForKey(const std::string& key)
{
    plist_t node = numberNode(key, "a boolean");
    if (!node)
        return false;
    auto value = valueFromPlist(node, nullptr);
    return value && value->boolValue();
}

double NSKeyedUnarchiver::decodeDoubleForKey(const std::string& key)
{
    plist_t node = numberNode(key, "a number");
    if (!node)
        return 0;
    auto value = valueFromPlist(node, nullptr);
    return value ? value->doubleValue() : 0;
}

Value NSKeyedUnarchiver::decodeObjectForKey(const std::string& key)
{
    Allowance allowance;
    allowance.plainValuesOnly = m_secure;
    return decodeReference(key, allowance);
}

Value NSKeyedUnarchiver::decodeObjectOfClasses(const std::set<std::string>& classNames, const std::string& key)
{
    Allowance allowance;
    allowance.classNames = &classNames;
    return decodeReference(key, allowance);
}

Value NSKeyedUnarchiver::decodeRegisteredObject(const std::string& className, Factory factory, const std::string& key)
{
    std::set<std::string> classNames { className };
    Allowance allowance;
    allowance.classNames = &classNames;
    allowance.factoryClass = className;
    allowance.factory = std::move(factory);
    return decodeReference(key, allowance);
}

Value NSKeyedUnarchiver::decodeReference(const std::string& key, const Allowance& allowance)
{
    if (hasFailed())
        return {};
    plist_t node = lookup(key);
    if (!node)
        return {};
    uint64_t index;
    if (!uidValue(node, &index)) {
        failWithError("the value for key \"" + key + "\" is not an object reference");
        return {};
    }
    return decodeIndex(index, allowance);
}

bool NSKeyedUnarchiver::allows(const Allowance& allowance, const std::string& className)
{
    std::string plain = plainClassName(className);
    bool allowed;
    if (!plain.empty())
        allowed = !allowance.classNames || allowance.classNames->count(plain);
    else if (allowance.plainValuesOnly)
        allowed = false;
    else if (allowance.classNames)
        allowed = allowance.classNames->count(className) > 0;
    else
        allowed = className == allowance.factoryClass || isClassRegistered(className);
    if (!allowed)
        failWithError("the archive holds an object of class " + className + ", which is not allowed here");
    return allowed;
}

Value NSKeyedUnarchiver::decodeIndex(uint64_t index, const Allowance& allowance)
{
    if (hasFailed() || index == 0)
        return {};
    if (index >= plist_array_get_size(m_objects)) {
        failWithError("the archive refers to an object it does not hold");
        return {};
    }
    if (!countValues(1))
        return {};
    plist_t node = plist_array_get_item(m_objects, static_cast<uint32_t>(index));
    switch (plist_get_node_type(node)) {
    case PLIST_STRING:
        return allows(allowance, NSStringClassName) ? Value(plistStringValue(node)) : Value();
    case PLIST_UINT:
    case PLIST_REAL:
    case PLIST_BOOLEAN:
        if (allowance.classNames && !allowance.classNames->count(NSNumberClassName)) {
            failWithError("the archive holds a number, which is not allowed here");
            return {};
        }
        return valueFromPlist(node, nullptr).value_or(Value());
    case PLIST_DATA:
        if (!allows(allowance, NSDataClassName))
            return {};
        return valueFromPlist(node, nullptr).value_or(Value());
    case PLIST_DICT:
        return decodeObjectDictionary(index, node, allowance);
    default:
        failWithError("the archive holds an object of an unknown form");
        return {};
    }
}

Value NSKeyedUnarchiver::decodeReferenceArray(plist_t array, const Allowance& allowance, const char* what)
{
    if (!array || plist_get_node_type(array) != PLIST_ARRAY) {
        failWithError(std::string("the archived ") + what + " has no element list");
        return {};
    }
    Value::Array elements;
    uint32_t count = plist_array_get_size(array);
    elements.reserve(count);
    for (uint32_t i = 0; i < count && !hasFailed(); ++i) {
        uint64_t index;
        if (!uidValue(plist_array_get_item(array, i), &index)) {
            failWithError(std::string("the archived ") + what + " holds something other than a reference");
            break;
        }
        elements.push_back(decodeIndex(index, allowance));
    }
    if (hasFailed())
        return {};
    return Value(std::move(elements));
}

Value NSKeyedUnarchiver::decodeObjectDictionary(uint64_t index, plist_t dict, const Allowance& allowance)
{
    uint64_t classIndex;
    plist_t description = nullptr;
    if (uidValue(plist_dict_get_item(dict, kClassKey), &classIndex) && classIndex < plist_array_get_size(m_objects))
        description = plist_array_get_item(m_objects, static_cast<uint32_t>(classIndex));
    std::string className = description && plist_get_node_type(description) == PLIST_DICT
        ? plistStringValue(plist_dict_get_item(description, kClassNameKey))
        : "";
    if (className.empty()) {
        failWithError("an object in the archive has no valid class");
        return {};
    }
    if (!allows(allowance, className))
        return {};
    if (auto it = m_decoded.find(index); it != m_decoded.end())
        return countValues(it->second.second - 1) ? it->second.first : Value();
    if (m_inProgress.count(index)) {
        failWithError("the archive refers to an object that is still being decoded");
        return {};
    }
    if (m_depth >= kMaxObjectDepth) {
        failWithError("the archived objects are nested too deeply");
        return {};
    }
    m_inProgress.insert(index);
    ++m_depth;
    uint64_t builtBefore = m_valuesBuilt - 1;

    Value result;
    std::string plain = plainClassName(className);
    if (plain == NSStringClassName) {
        plist_t s = plist_dict_get_item(dict, kStringKey);
        if (s && plist_get_node_type(s) == PLIST_STRING)
            result = plistStringValue(s);
        else
            failWithError("an archived string has no text");
    } else if (plain == NSDataClassName) {
        plist_t d = plist_dict_get_item(dict, kDataKey);
        if (d && plist_get_node_type(d) == PLIST_DATA)
            result = valueFromPlist(d, nullptr).value_or(Value());
        else
            failWithError("an archived data object has no bytes");
    } else if (plain == NSDateClassName) {
        plist_t t = plist_dict_get_item(dict, kTimeKey);
        if (t && (plist_get_node_type(t) == PLIST_REAL || plist_get_node_type(t) == PLIST_UINT))
            result = Value(NSDate { valueFromPlist(t, nullptr).value_or(Value()).doubleValue() });
        else
            failWithError("an archived date has no time");
    } else if (plain == NSArrayClassName) {
        result = decodeReferenceArray(plist_dict_get_item(dict, kArrayObjectsKey), allowance, "array");
    } else if (plain == NSDictionaryClassName) {
        Value keys = decodeReferenceArray(plist_dict_get_item(dict, kDictionaryKeysKey), allowance, "dictionary");
        Value objects = decodeReferenceArray(plist_dict_get_item(dict, kArrayObjectsKey), allowance, "dictionary");
        if (!hasFailed() && keys.count() != objects.count())
            failWithError("an archived dictionary has unequal key and value lists");
        Value::Dictionary entries;
        for (size_t i = 0; i < keys.count() && !hasFailed(); ++i) {
            const std::string* key = keys.at(i).string();
            if (!key) {
                failWithError("an archived dictionary has a key that is not a string");
                break;
            }
            entries.emplace(*key, objects.at(i));
        }
        if (!hasFailed())
            result = Value(std::move(entries));
    } else {
        Factory factory = className == allowance.factoryClass ? allowance.factory : registeredFactory(className);
        if (!factory) {
            failWithError("the archive holds an object of class " + className + ", which this program cannot decode");
        } else {
            m_containers.push_back(dict);
            auto object = factory(*this);
            m_containers.pop_back();
            result = Value(object);
        }
    }

    --m_depth;
    m_inProgress.erase(index);
    if (hasFailed())
        return {};
    m_decoded.emplace(index, std::make_pair(result, m_valuesBuilt - builtBefore));
    return result;
}

bool NSKeyedUnarchiver::countValues(uint64_t count)
{
    m_valuesBuilt += count;
    if (m_valuesBuilt <= kMaxDecodedValues)
        return true;
    failWithError("the archive expands to more than " + std::to_string(kMaxDecodedValues) + " values");
    return false;
}
