#include "NSCoder.h"

#include "Log.h"

const std::string NSStringClassName = "NSString";
const std::string NSNumberClassName = "NSNumber";
const std::string NSDataClassName = "NSData";
const std::string NSDateClassName = "NSDate";
const std::string NSArrayClassName = "NSArray";
const std::string NSDictionaryClassName = "NSDictionary";

namespace {
void notForEncoding(const NSCoder& coder, const char* method)
{
    NSLog("*** -[%@ %s]: this coder only decodes", coder.className(), method);
}

void notForDecoding(const NSCoder& coder, const char* method)
{
    NSLog("*** -[%@ %s]: this coder only encodes", coder.className(), method);
}
}

void NSCoder::encodeInteger(int64_t, const std::string&) { notForEncoding(*this, "encodeInteger:forKey:"); }
void NSCoder::encodeBool(bool, const std::string&) { notForEncoding(*this, "encodeBool:forKey:"); }
void NSCoder::encodeDouble(double, const std::string&) { notForEncoding(*this, "encodeDouble:forKey:"); }
void NSCoder::encodeObject(const Value&, const std::string&) { notForEncoding(*this, "encodeObject:forKey:"); }

bool NSCoder::containsValueForKey(const std::string&) const
{
    notForDecoding(*this, "containsValueForKey:");
    return false;
}

int64_t NSCoder::decodeIntegerForKey(const std::string&)
{
    notForDecoding(*this, "decodeIntegerForKey:");
    return 0;
}

bool NSCoder::decodeBoolForKey(const std::string&)
{
    notForDecoding(*this, "decodeBoolForKey:");
    return false;
}

double NSCoder::decodeDoubleForKey(const std::string&)
{
    notForDecoding(*this, "decodeDoubleForKey:");
    return 0;
}

Value NSCoder::decodeObjectForKey(const std::string&)
{
    notForDecoding(*this, "decodeObjectForKey:");
    return {};
}

Value NSCoder::decodeObjectOfClasses(const std::set<std::string>&, const std::string&)
{
    notForDecoding(*this, "decodeObjectOfClasses:forKey:");
    return {};
}

Value NSCoder::decodeRegisteredObject(const std::string&, std::function<Ref<NSObject>(NSCoder&)>, const std::string&)
{
    notForDecoding(*this, "decodeObjectOfClass:forKey:");
    return {};
}

std::optional<std::string> NSCoder::decodeStringForKey(const std::string& key)
{
    auto value = decodeObjectOfClasses({ NSStringClassName }, key);
    if (auto s = value.string())
        return *s;
    return std::nullopt;
}

void NSCoder::failWithError(const std::string& description)
{
    if (m_error.empty())
        m_error = description.empty() ? "decoding failed" : description;
}
