// The scripts' persistent key-value store (the global "Storage"): JSON
// values under string keys, kept in one file that holds a JSON object,
// written pretty-printed after every change.
//
// A change only marks the store changed; the writing (serialising the whole
// store included) happens on a background queue, one write at a time, each
// with the state when it starts, so a burst of changes costs one or two
// writes and the file ends with the latest state. Writes go to a temporary
// file that is renamed over the store, so a failed or interrupted write
// leaves the previous file whole. A file that cannot be parsed as an object
// is kept aside under another name; one that cannot be read at all is never
// written over in that run, and changes stay in memory.
#pragma once

#include <javascriptcore/JSValue.h>

#include <foundation/NSObject.h>

class JSExportClass;
#include <foundation/Value.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
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
    bool setObject(const std::string& key, Value value);

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
    // Asks for a write, unless one that has not started yet will take the
    // change.
    void persist();
    // Runs on the writer queue.
    void writeLatest();
    void keepUnreadableFileAside();

    std::string m_path;
    mutable std::mutex m_mutex;
    // Values are shared with a write that is serialising them while a later
    // change replaces them.
    std::map<std::string, std::shared_ptr<const Value>> m_storage;
    // Why the file could not be read, when it could not.
    std::optional<std::string> m_unreadable;
    // Shared with the writer queue, which may outlive the store.
    struct Writer;
    std::shared_ptr<Writer> m_writer;
    std::atomic<int> m_pendingWrites { 0 };
};
