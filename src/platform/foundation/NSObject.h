// The root of the platform's object model: identity, description, equality
// and hashing, key-value coding, key-value observing and delayed performs.
#pragma once

#include "Ref.h"
#include "RunLoop.h"
#include "Token.h"
#include "Value.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

enum NSKeyValueObservingOptions : unsigned {
    NSKeyValueObservingOptionNew = 0x01,
    NSKeyValueObservingOptionOld = 0x02,
    NSKeyValueObservingOptionInitial = 0x04,
    NSKeyValueObservingOptionPrior = 0x08,
};

struct KVOChange {
    std::string key;
    // Sent from willChange when the observer asked for prior notices.
    bool isPrior { false };
    Value oldValue;
    Value newValue;
};

using KVOHandler = std::function<void(const KVOChange&)>;

struct KVOTable;

class NSObject : public std::enable_shared_from_this<NSObject> {
public:
    NSObject() = default;
    virtual ~NSObject();
    NSObject(const NSObject&) = delete;
    NSObject& operator=(const NSObject&) = delete;

    // The dynamic class name, without namespaces.
    virtual std::string className() const;
    virtual std::string description() const;
    virtual bool isEqual(const NSObject* other) const { return other == this; }
    bool isEqual(const Ref<NSObject>& other) const { return isEqual(other.get()); }
    virtual size_t hash() const { return reinterpret_cast<size_t>(this); }

    // A strong reference to this object; null when it is not owned by a Ref.
    template <class T = NSObject>
    Ref<T> selfRef() const
    {
        auto self = std::const_pointer_cast<NSObject>(weak_from_this().lock());
        return std::dynamic_pointer_cast<T>(self);
    }

    // Key-value coding. Subclasses answer the keys they expose; unknown keys
    // log and read as nil.
    virtual Value valueForKey(const std::string& key) const;
    virtual void setValueForKey(const Value& value, const std::string& key);
    // Dotted paths through objects, arrays (a key applied to each element)
    // and dictionaries, with the "@count" operator.
    Value valueForKeyPath(const std::string& keyPath) const;
    void setValueForKeyPath(const Value& value, const std::string& keyPath);

    // Key-value observing. Notices are sent synchronously on the thread that
    // makes the change; the registration ends with the token.
    [[nodiscard]] Token addObserver(const std::string& key, unsigned options, KVOHandler handler) const;
    void willChangeValueForKey(const std::string& key) const;
    void didChangeValueForKey(const std::string& key) const;
    size_t observerCount(const std::string& key) const;

    // performSelector:withObject:afterDelay: on the current run loop; the
    // block should keep what it needs alive. Cancel with the selector name.
    void performAfterDelay(const std::string& selector, double delay, std::function<void()> action,
        const std::vector<RunLoopMode>& modes = { kCFRunLoopDefaultMode }) const;
    static void cancelPreviousPerformRequestsWithTarget(const NSObject* target, const std::string& selector = {});

private:
    std::shared_ptr<KVOTable> kvoTable(bool create) const;
    mutable std::shared_ptr<KVOTable> m_kvo;
};

std::string demangledClassName(const std::type_info&);

// Applies a key path to a value: objects answer valueForKey, dictionaries
// look the key up, arrays map the rest of the path over their elements.
Value valueForKeyPathOf(const Value& root, const std::string& keyPath);
