// Writes keyed archives: binary property lists with "$archiver",
// "$version" 100000, "$top" and "$objects", objects referenced by UID and
// described by "$class" dictionaries.
#pragma once

#include "NSCoder.h"

#include <map>
#include <optional>
#include <plist/plist.h>
#include <string>
#include <unordered_map>
#include <vector>

class NSKeyedArchiver final : public NSCoder {
public:
    // An archiver that has encoded nothing yet. Keys encoded on it directly
    // go to "$top".
    NSKeyedArchiver();
    ~NSKeyedArchiver() override;

    // The archive of one object under the key "root"; nothing, with the
    // reason logged and in error, when something in it cannot be archived.
    static std::optional<Value::Bytes> archivedDataWithRootObject(const Value& root, std::string* error = nullptr);

    void encodeInteger(int64_t value, const std::string& key) override;
    void encodeBool(bool value, const std::string& key) override;
    void encodeDouble(double value, const std::string& key) override;
    void encodeObject(const Value& object, const std::string& key) override;

    // Ends encoding and returns the archive; later encodes are ignored.
    // Nothing when an encode failed.
    std::optional<Value::Bytes> encodedData(std::string* error = nullptr);

private:
    plist_t currentContainer() const;
    void setItem(const std::string& key, plist_t item);
    bool ready(const char* method);
    void fail(const std::string& description);
    uint64_t append(plist_t node);
    uint64_t encodeValue(const Value& value);
    uint64_t classReference(const std::string& className, const std::vector<std::string>& hierarchy);
    uint64_t shapeOf(const Value& value, size_t depth);
    uint64_t encodeCollectionObject(
        const std::string& className, const std::vector<const Value*>& keys, const std::vector<const Value*>& objects);

    plist_t m_top;
    plist_t m_objects;
    std::vector<plist_t> m_containers;
    std::map<Ref<NSObject>, uint64_t> m_objectReferences;
    std::map<std::string, uint64_t> m_stringReferences;
    std::map<std::string, uint64_t> m_classReferences;
    // Equal arrays and dictionaries are archived once, as equal strings are:
    // values read from an archive that shared them keep them shared. A
    // shape numbers content (objects by identity); the addresses it was
    // worked out for last only as long as the encodeObject call whose value
    // holds them, hence one table per call.
    std::unordered_map<std::string, uint64_t> m_shapeNumbers;
    std::vector<std::unordered_map<const Value*, uint64_t>> m_shapesByAddress;
    std::map<uint64_t, uint64_t> m_collectionReferences;
    size_t m_depth { 0 };
    bool m_finished { false };
    std::optional<Value::Bytes> m_encoded;
};
