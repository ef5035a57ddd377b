// Reads keyed archives. Decoding only ever builds plain values and objects
// of classes that were registered or named by the caller; garbage,
// truncated data and objects of classes not allowed give nothing, never a
// crash.
#pragma once

#include "NSCoder.h"

#include <functional>
#include <map>
#include <plist/plist.h>
#include <set>
#include <string>
#include <vector>

class NSKeyedUnarchiver final : public NSCoder {
public:
    using Factory = std::function<Ref<NSObject>(NSCoder&)>;

    // The process's table of classes that unrestricted decoding may build,
    // by archived class name. A later registration of a name replaces it.
    static void setClass(const std::string& className, Factory factory);
    template <class T> static void registerClass()
    {
        setClass(codingClassName<T>(), [](NSCoder& coder) -> Ref<NSObject> { return T::initWithCoder(coder); });
    }
    static bool isClassRegistered(const std::string& className);

    // Null, with the reason in error, when the data is no keyed archive.
    static Ref<NSKeyedUnarchiver> initForReadingFromData(const Value::Bytes& data, std::string* error = nullptr);

    // The root object "root" of an archive. On failure these log the reason,
    // put it in error and return nil.
    // Unrestricted: plain values and any registered class.
    static Value unarchiveObjectWithData(const Value::Bytes& data, std::string* error = nullptr);
    // Secure: the root, and everything it holds, must be of the named classes.
    static Value unarchivedObjectOfClasses(
        const std::set<std::string>& classNames, const Value::Bytes& data, std::string* error = nullptr);
    // Secure, for one class that decodes with T::initWithCoder.
    template <class T> static Ref<T> unarchivedObjectOfClass(const Value::Bytes& data, std::string* error = nullptr)
    {
        return unarchivedRootObject(
            codingClassName<T>(), [](NSCoder& coder) -> Ref<NSObject> { return T::initWithCoder(coder); }, data, error)
            .template objectAs<T>();
    }

    void setRequiresSecureCoding(bool secure) { m_secure = secure; }
    bool requiresSecureCoding() const override { return m_secure; }

    bool containsValueForKey(const std::string& key) const override;
    int64_t decodeIntegerForKey(const std::string& key) override;
    bool decodeBoolForKey(const std::string& key) override;
    double decodeDoubleForKey(const std::string& key) override;
    Value decodeObjectForKey(const std::string& key) override;
    Value decodeObjectOfClasses(const std::set<std::string>& classNames, const std::string& key) override;

    ~NSKeyedUnarchiver() override;

protected:
    Value decodeRegisteredObject(const std::string& className, Factory factory, const std::string& key) override;

private:
    // What a decode may build: any registered class or only named ones, and
    // a factory the caller brought for one class.
    struct Allowance {
        const std::set<std::string>* classNames { nullptr };
        bool plainValuesOnly { false };
        std::string factoryClass;
        Factory factory;
    };

    NSKeyedUnarchiver(plist_t root, plist_t objects, plist_t top);

    static Value unarchivedRootObject(
        const std::string& className, Factory factory, const Value::Bytes& data, std::string* error);
    static Value finish(NSKeyedUnarchiver* coder, Value value, const std::string& parseError, std::string* error);

    plist_t lookup(const std::string& key) const;
    plist_t numberNode(const std::string& key, const char* what);
    Value decodeReference(const std::string& key, const Allowance& allowance);
    Value decodeIndex(uint64_t index, const Allowance& allowance);
    Value decodeObjectDictionary(uint64_t index, plist_t dict, const Allowance& allowance);
    bool allows(const Allowance& allowance, const std::string& className);
    Value decodeReferenceArray(plist_t array, const Allowance& allowance, const char* what);
    // Counts values about to be built; fails the decode past the limit.
    bool countValues(uint64_t count);

    // An archive may refer to one object from many places, and every place
    // gets a copy of it; archives that would build more values than this
    // are refused instead of growing without bound. The archives read are
    // the program's own small objects, so the bound is far below what
    // would take a noticeable time to build.
    static constexpr uint64_t kMaxDecodedValues = 100'000;

    plist_t m_root;
    plist_t m_objects;
    plist_t m_top;
    std::vector<plist_t> m_containers;
    // Decoded objects by index, with the number of values each one is made
    // of: an object referred to from many places is decoded once, but every
    // place holds a copy of it.
    std::map<uint64_t, std::pair<Value, uint64_t>> m_decoded;
    uint64_t m_valuesBuilt { 0 };
    std::set<uint64_t> m_inProgress;
    size_t m_depth { 0 };
    bool m_secure { false };
};
