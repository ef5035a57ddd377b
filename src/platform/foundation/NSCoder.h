// Keyed coding: the coder that objects archive themselves to and decode
// themselves from, and the interface of objects that do so.
#pragma once

#include "NSObject.h"
#include "Value.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <typeinfo>

class NSCoder;

// Objects that archive themselves. The class name written to an archive is
// the object's className(). A class that decodes offers a factory
//     static Ref<T> initWithCoder(NSCoder&);
// returning null when the coded form is unacceptable.
class NSCoding {
public:
    virtual ~NSCoding() = default;
    virtual void encodeWithCoder(NSCoder& coder) const = 0;
};

// Class names of the plain values an archive can hold, for the allowed
// classes of a restricted decode.
extern const std::string NSStringClassName; // "NSString"
extern const std::string NSNumberClassName; // "NSNumber"
extern const std::string NSDataClassName; // "NSData"
extern const std::string NSDateClassName; // "NSDate"
extern const std::string NSArrayClassName; // "NSArray"
extern const std::string NSDictionaryClassName; // "NSDictionary"

class NSCoder : public NSObject {
public:
    // Encoding; a decoding coder logs and ignores these.
    virtual void encodeInteger(int64_t value, const std::string& key);
    virtual void encodeBool(bool value, const std::string& key);
    virtual void encodeDouble(double value, const std::string& key);
    // Nil, numbers, strings, data, dates, arrays, dictionaries and objects
    // that adopt NSCoding. The same object encoded twice is stored once.
    virtual void encodeObject(const Value& object, const std::string& key);

    // Decoding; an encoding coder logs and answers 0, NO or nil. A missing
    // key decodes as 0, NO or nil; a key of the wrong type fails the decode.
    virtual bool containsValueForKey(const std::string& key) const;
    virtual int64_t decodeIntegerForKey(const std::string& key);
    virtual bool decodeBoolForKey(const std::string& key);
    virtual double decodeDoubleForKey(const std::string& key);
    // Unrestricted decoding: any registered class, unless the coder requires
    // secure coding, when only plain values are accepted.
    virtual Value decodeObjectForKey(const std::string& key);
    // Restricted decoding: the object, and every element of a collection,
    // must be of one of the named classes. Object classes among them are
    // built through the unarchiver's class table, so they must be registered;
    // decodeObjectOfClass<T> brings T's own factory instead.
    virtual Value decodeObjectOfClasses(const std::set<std::string>& classNames, const std::string& key);
    std::optional<std::string> decodeStringForKey(const std::string& key);
    template <class T> Ref<T> decodeObjectOfClass(const std::string& key);

    virtual bool requiresSecureCoding() const { return false; }

    // Ends decoding as a failure: every later decode answers 0, NO or nil
    // and the unarchiving call returns nothing. The first error is kept.
    void failWithError(const std::string& description);
    const std::string& error() const { return m_error; }
    bool hasFailed() const { return !m_error.empty(); }

protected:
    virtual Value decodeRegisteredObject(
        const std::string& className, std::function<Ref<NSObject>(NSCoder&)> factory, const std::string& key);

private:
    std::string m_error;
};

// The name an object of class T is archived under.
template <class T> std::string codingClassName() { return demangledClassName(typeid(T)); }

template <class T> Ref<T> NSCoder::decodeObjectOfClass(const std::string& key)
{
    auto value = decodeRegisteredObject(
        codingClassName<T>(), [](NSCoder& coder) -> Ref<NSObject> { return T::initWithCoder(coder); }, key);
    return value.template objectAs<T>();
}
