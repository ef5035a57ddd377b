#include "NSObject.h"

#include "Format.h"
#include "Log.h"

#include <algorithm>
#include <atomic>
#include <cxxabi.h>
#include <map>
#include <mutex>
#include <typeinfo>

struct KVOEntry {
    std::string key;
    unsigned options { 0 };
    KVOHandler handler;
    std::atomic<bool> alive { true };
};

struct KVOTable {
    std::mutex mutex;
    std::vector<std::shared_ptr<KVOEntry>> entries;
    std::map<std::string, std::vector<Value>> pendingOld;
};

namespace {
std::mutex gKvoCreateMutex;
}

NSObject::~NSObject() = default;

std::string demangledClassName(const std::type_info& info)
{
    int status = 0;
    char* name = abi::__cxa_demangle(info.name(), nullptr, nullptr, &status);
    std::string result = status == 0 && name ? name : info.name();
    std::free(name);
    auto colon = result.rfind("::");
    if (colon != std::string::npos)
        result = result.substr(colon + 2);
    return result;
}

std::string NSObject::className() const { return demangledClassName(typeid(*this)); }

std::string NSObject::description() const { return stringWithFormat("<%@: %p>", className(), static_cast<const void*>(this)); }

Value NSObject::valueForKey(const std::string& key) const
{
    NSLog("[<%@ %p> valueForUndefinedKey:]: this class is not key value coding-compliant for the key %@.", className(),
        static_cast<const void*>(this), key);
    return {};
}

void NSObject::setValueForKey(const Value&, const std::string& key)
{
    NSLog("[<%@ %p> setValue:forUndefinedKey:]: this class is not key value coding-compliant for the key %@.",
        className(), static_cast<const void*>(this), key);
}

static std::vector<std::string> splitPath(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t dot = path.find('.', start);
        if (dot == std::string::npos) {
            parts.push_back(path.substr(start));
            break;
        }
        parts.push_back(path.substr(start, dot - start));
        start = dot + 1;
    }
    return parts;
}

static Value applyKey(const Value& value, const std::string& key, const std::vector<std::string>& rest, size_t index);

static Value applyPath(const Value& value, const std::vector<std::string>& parts, size_t index)
{
    if (index >= parts.size())
        return value;
    return applyKey(value, parts[index], parts, index);
}

static Value applyKey(const Value& value, const std::string& key, const std::vector<std::string>& parts, size_t index)
{
    if (key == "@count") {
        if (value.isArray() || value.isDictionary())
            return Value(static_cast<int64_t>(value.count()));
        return {};
    }
    if (auto array = value.array()) {
        Value::Array mapped;
        mapped.reserve(array->size());
        for (const auto& element : *array)
            mapped.push_back(applyPath(element, parts, index));
        return mapped;
    }
    if (value.isDictionary())
        return applyPath(value[key], parts, index + 1);
    if (auto object = value.object())
        return applyPath(object->valueForKey(key), parts, index + 1);
    return {};
}

Value valueForKeyPathOf(const Value& root, const std::string& keyPath) { return applyPath(root, splitPath(keyPath), 0); }

Value NSObject::valueForKeyPath(const std::string& keyPath) const
{
    auto parts = splitPath(keyPath);
    if (parts.empty())
        return {};
    if (parts[0] == "@count")
        return {};
    return applyPath(valueForKey(parts[0]), parts, 1);
}

void NSObject::setValueForKeyPath(const Value& value, const std::string& keyPath)
{
    auto dot = keyPath.rfind('.');
    if (dot == std::string::npos) {
        setValueForKey(value, keyPath);
        return;
    }
    auto target = valueForKeyPath(keyPath.substr(0, dot)).object();
    if (target)
        target->setValueForKey(value, keyPath.substr(dot + 1));
}

std::shared_ptr<KVOTable> NSObject::kvoTable(bool create) const
{
    std::lock_guard lock(gKvoCreateMutex);
    if (!m_kvo && create)
        m_kvo = std::make_shared<KVOTable>();
    return m_kvo;
}

Token NSObject::addObserver(const std::string& key, unsigned options, KVOHandler handler) const
{
    if (!handler)
        return {};
    auto table = kvoTable(true);
    auto entry = std::make_shared<KVOEntry>();
    entry->key = key;
    entry->options = options;
    entry->handler = std::move(handler);
    {
        std::lock_guard lock(table->mutex);
        table->entries.push_back(entry);
    }
    if (options & NSKeyValueObservingOptionInitial) {
        KVOChange change { key, false, {}, {} };
        if (options & NSKeyValueObservingOptionNew)
            change.newValue = valueForKey(key);
        entry->handler(change);
    }
    std::weak_ptr<KVOTable> weakTable = table;
    return Token([weakTable, entry] {
        entry->alive = false;
        if (auto t = weakTable.lock()) {
            std::lock_guard lock(t->mutex);
            std::erase(t->entries, entry);
        }
    });
}

size_t NSObject::observerCount(const std::string& key) const
{
    auto table = kvoTable(false);
    if (!table)
        return 0;
    std::lock_guard lock(table->mutex);
    return std::count_if(table->entries.begin(), table->entries.end(),
        [&](const std::shared_ptr<KVOEntry>& e) { return e->key == key && e->alive; });
}

static std::vector<std::shared_ptr<KVOEntry>> entriesFor(KVOTable& table, const std::string& key)
{
    std::lock_guard lock(table.mutex);
    std::vector<std::shared_ptr<KVOEntry>> result;
    for (const auto& e : table.entries)
        if (e->key == key && e->alive)
            result.push_back(e);
    return result;
}

void NSObject::willChangeValueForKey(const std::string& key) const
{
    auto table = kvoTable(false);
    if (!table)
        return;
    auto entries = entriesFor(*table, key);
    bool wantsOld = std::any_of(entries.begin(), entries.end(),
        [](const auto& e) { return e->options & NSKeyValueObservingOptionOld; });
    Value old = wantsOld ? valueForKey(key) : Value();
    // Every willChange pushes, observed or not, so that each didChange pops
    // the value of its own willChange even when observers come and go
    // between nested changes of one key.
    {
        std::lock_guard lock(table->mutex);
        table->pendingOld[key].push_back(old);
    }
    for (const auto& e : entries) {
        if (!(e->options & NSKeyValueObservingOptionPrior) || !e->alive)
            continue;
        KVOChange change { key, true, {}, {} };
        if (e->options & NSKeyValueObservingOptionOld)
            change.oldValue = old;
        e->handler(change);
    }
}

void NSObject::didChangeValueForKey(const std::string& key) const
{
    auto table = kvoTable(false);
    if (!table)
        return;
    Value old;
    {
        std::lock_guard lock(table->mutex);
        auto it = table->pendingOld.find(key);
        if (it != table->pendingOld.end() && !it->second.empty()) {
            old = it->second.back();
            it->second.pop_back();
            if (it->second.empty())
                table->pendingOld.erase(it);
        }
    }
    auto entries = entriesFor(*table, key);
    if (entries.empty())
        return;
    bool wantsNew = std::any_of(entries.begin(), entries.end(),
        [](const auto& e) { return e->options & NSKeyValueObservingOptionNew; });
    Value now = wantsNew ? valueForKey(key) : Value();
    for (const auto& e : entries) {
        if (!e->alive)
            continue;
        KVOChange change { key, false, {}, {} };
        if (e->options & NSKeyValueObservingOptionOld)
            change.oldValue = old;
        if (e->options & NSKeyValueObservingOptionNew)
            change.newValue = now;
        e->handler(change);
    }
}

void NSObject::performAfterDelay(const std::string& selector, double delay, std::function<void()> action,
    const std::vector<RunLoopMode>& modes) const
{
    RunLoop::current().performAfterDelay(this, selector, delay, std::move(action), modes);
}

void NSObject::cancelPreviousPerformRequestsWithTarget(const NSObject* target, const std::string& selector)
{
    RunLoop::current().cancelPerforms(target, selector);
}
