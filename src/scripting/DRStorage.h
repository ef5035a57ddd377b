// The scripts' persistent key-value store (the global "Storage"): JSON
// values under string keys, kept in one file that holds a JSON object,
// written pretty-printed after every change.
//
// Writes go to a temporary file that is renamed over the store, so a failed
// or interrupted write leaves the previous file whole; they run one at a
// time on a background queue, each with the state of the change that asked
// for it, so the file ends with the latest state. A file that cannot be read
// as an object is kept aside under another name instead of being replaced.
#pragma once

#include <javascriptcore/JSValue.h>

#include <foundation/NSObject.h>

class JSExportClass;
#include <foundation/Value.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

inline const std::string DRStorageDidPersistNotification = "DRStorageDidPersistNotification";

class DRStorage : public NSObject {
public:
    // The store in the support directory ("storage.json").
    static Ref<DRStorage> storage();
    // A store in the file at the path, read now.
    explicit DRStorage(std::string path);
    ~DRStorage() override;

    // set(key, value): stores a value that JSON can represent and writes
    // the file; other values are refused and logged.
    void forKeySetObject(const std::string& key, const JSValue& value);
    // get(key): the stored value, or nothing.
    Value objectForKey(const std::string& key) const;
    // remove(key): removes the key (when present) and writes the file.
    void removeObjectForKey(const std::string& key);

    // Stores a platform value (no script involved); false when JSON cannot
    // represent it.
    bool setObject(const std::string& key, const Value& value);

    bool isPersisting() const { return m_pendingWrites.load() > 0; }
    const std::string& path() const { return m_path; }
    Value::Dictionary snapshot() const;
    // Blocks until every write that was asked for has ended and been
    // announced.
    void waitUntilPersisted() const;

    // Whether JSON can represent the value: null, booleans, finite numbers,
    // strings, and arrays and objects of those.
    static bool isValidJSONObject(const JSValue& value);
    static bool isValidJSONObject(const Value& value);

    static const JSExportClass& exportClass();

private:
    void load();
    bool ensureStorageDirectory();
    void persist();
    void keepUnreadableFileAside();

    std::string m_path;
    mutable std::mutex m_mutex;
    Value::Dictionary m_storage;
    // Shared with the writer queue, which may outlive the store.
    struct Writer;
    std::shared_ptr<Writer> m_writer;
    std::atomic<int> m_pendingWrites { 0 };
};
