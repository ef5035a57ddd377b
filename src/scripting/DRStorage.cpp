#include "DRStorage.h"

#include "DRPaths.h"

#include <javascriptcore/JSExport.h>

#include <foundation/AtomicFile.h>
#include <foundation/Dispatch.h>
#include <foundation/JSON.h>
#include <foundation/Log.h>
#include <foundation/NSNotificationCenter.h>
#include <foundation/NSPathUtilities.h>

#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <set>

// Whether a write is queued that has not started, and how many writes are
// asked for.
struct DRStorage::Writer {
    std::mutex mutex;
    std::condition_variable idle;
    bool queued { false };
    int outstanding { 0 };
    bool toldNotWritten { false };
};

namespace {

// One queue for every store's writes, so that they never overlap.
dispatch_queue_t writerQueue()
{
    static dispatch_queue_t queue = dispatch_queue_create("Dirariv storage writer");
    return queue;
}

constexpr int kMaximumJSONDepth = 64;

bool isJSONValue(const JSValue& value, int depth, std::set<JSValueRef>& open)
{
    if (depth > kMaximumJSONDepth)
        return false;
    if (value.isNull() || value.isBoolean() || value.isString())
        return true;
    if (value.isNumber())
        return std::isfinite(value.toDouble());
    if (value.isUndefined() || !value.isObject() || value.isFunction() || value.toNativeObject())
        return false;
    JSContextRef context = value.contextRef();
    if (JSValueIsDate(context, value.valueRef()))
        return false;
    if (!open.insert(value.valueRef()).second)
        return false;
    bool valid = true;
    JSObjectRef object = JSValueToObject(context, value.valueRef(), nullptr);
    if (value.isArray()) {
        unsigned count = value.property("length").toUInt32();
        for (unsigned i = 0; valid && i < count; ++i)
            valid = isJSONValue(value.property(i), depth + 1, open);
    } else {
        JSPropertyNameArrayRef names = JSObjectCopyPropertyNames(context, object);
        size_t count = JSPropertyNameArrayGetCount(names);
        for (size_t i = 0; valid && i < count; ++i)
            valid = isJSONValue(value.property(stringFromJSString(JSPropertyNameArrayGetNameAtIndex(names, i))), depth + 1, open);
        JSPropertyNameArrayRelease(names);
    }
    open.erase(value.valueRef());
    return valid;
}

bool isJSONValue(const Value& value, int depth)
{
    if (depth > kMaximumJSONDepth)
        return false;
    switch (value.type()) {
    case Value::Type::Nil:
    case Value::Type::Bool:
    case Value::Type::Integer:
    case Value::Type::String:
        return true;
    case Value::Type::Double:
        return std::isfinite(value.doubleValue());
    case Value::Type::Array:
        for (const auto& element : *value.array())
            if (!isJSONValue(element, depth + 1))
                return false;
        return true;
    case Value::Type::Dictionary:
        for (const auto& [key, member] : *value.dictionary())
            if (!isJSONValue(member, depth + 1))
                return false;
        return true;
    default:
        return false;
    }
}

}

Ref<DRStorage> DRStorage::storage() { return makeRef<DRStorage>(DRSupportDirectory() + "/storage.json"); }

DRStorage::DRStorage(std::string path)
    : m_path(stringByExpandingTildeInPath(path))
    , m_writer(std::make_shared<Writer>())
{
    load();
}

DRStorage::~DRStorage() = default;

bool DRStorage::isValidJSONObject(const JSValue& value)
{
    std::set<JSValueRef> open;
    return isJSONValue(value, 0, open);
}

bool DRStorage::isValidJSONObject(const Value& value) { return isJSONValue(value, 0); }

void DRStorage::load()
{
    // A write that was interrupted (the process killed) leaves its
    // temporary file; none is in use before the store is read.
    removeStaleTemporaryFiles(m_path);
    int error = 0;
    auto contents = readFileContents(m_path, &error);
    if (!contents) {
        // No file (or no folder for it yet) is a first run. Any other
        // failure may hide the user's data: the file is left alone.
        if (error != ENOENT && error != ENOTDIR) {
            m_unreadable = std::strerror(error);
            NSLog("Error: Loading storage failed. (%@)", *m_unreadable);
        }
        return;
    }
    JSONError parseError;
    auto value = parseJSON(std::string(contents->begin(), contents->end()), &parseError);
    if (!value || !value->isDictionary()) {
        std::string reason = value ? std::string("The file does not hold a JSON object.")
                                   : stringWithFormat("%@ (line %lu, column %lu)", parseError.message,
                                       static_cast<unsigned long>(parseError.line), static_cast<unsigned long>(parseError.column));
        NSLog("Error: Loading storage failed. (%@)", reason);
        keepUnreadableFileAside();
        return;
    }
    std::lock_guard lock(m_mutex);
    for (auto& [key, member] : *value->dictionary())
        m_storage[key] = std::make_shared<const Value>(std::move(member));
}

void DRStorage::keepUnreadableFileAside()
{
    // The next write would replace the file: keep what the user had. A
    // linked file is kept beside the file the link leads to, which the next
    // write makes again, so the link stays.
    std::string file = atomicWriteTarget(m_path);
    std::string aside = file + ".unreadable";
    for (int n = 2; std::filesystem::exists(aside); ++n)
        aside = file + ".unreadable-" + std::to_string(n);
    std::error_code error;
    std::filesystem::rename(file, aside, error);
    if (error)
        NSLog("Error: Could not keep unreadable storage file as “%@”. (%@)", aside, error.message());
    else
        NSLog("Warning: Unreadable storage file kept as “%@”.", aside);
}

void DRStorage::forKeySetObject(const std::string& key, const JSValue& value)
{
    if (!isValidJSONObject(value)) {
        NSLog("Error: Value for key “%@” is not a valid JSON-object.", key);
        return;
    }
    // The value as the engine's JSON shows it: a proxy becomes the plain
    // object or array it stands for, and one that cannot be read (revoked,
    // or throwing) is refused.
    JSValueRef exception = nullptr;
    JSStringRef json = JSValueCreateJSONString(value.contextRef(), value.valueRef(), 0, &exception);
    std::optional<Value> plain;
    if (json) {
        plain = parseJSON(stringFromJSString(json));
        JSStringRelease(json);
    }
    if (exception || !plain) {
        NSLog("Error: Value for key “%@” is not a valid JSON-object.", key);
        return;
    }
    setObject(key, std::move(*plain));
}

bool DRStorage::setObject(const std::string& key, Value value)
{
    if (!isValidJSONObject(value)) {
        NSLog("Error: Value for key “%@” is not a valid JSON-object.", key);
        return false;
    }
    auto stored = std::make_shared<const Value>(std::move(value));
    {
        std::lock_guard lock(m_mutex);
        m_storage[key] = std::move(stored);
    }
    persist();
    return true;
}

Value DRStorage::objectForKey(const std::string& key) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_storage.find(key);
    return it == m_storage.end() ? Value() : *it->second;
}

void DRStorage::removeObjectForKey(const std::string& key)
{
    {
        std::lock_guard lock(m_mutex);
        m_storage.erase(key);
    }
    persist();
}

Value::Dictionary DRStorage::snapshot() const
{
    std::lock_guard lock(m_mutex);
    Value::Dictionary copy;
    for (const auto& [key, value] : m_storage)
        copy.emplace(key, *value);
    return copy;
}

bool DRStorage::ensureStorageDirectory()
{
    std::string directory = stringByDeletingLastPathComponent(m_path);
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        NSLog("Error: Could not create storage directory to path “%@”. (%@)", directory, error.message());
        return false;
    }
    return true;
}

void DRStorage::persist()
{
    {
        std::lock_guard lock(m_writer->mutex);
        if (m_writer->queued)
            return;
        m_writer->queued = true;
        ++m_writer->outstanding;
        ++m_pendingWrites;
    }
    auto writer = m_writer;
    auto self = selfRef<DRStorage>();
    dispatch_async(writerQueue(), [writer, self] {
        self->writeLatest();
        --self->m_pendingWrites;
        // Also after a failure: a deferred quit waits for this notice.
        NSNotificationCenter::defaultCenter().postNotificationName(DRStorageDidPersistNotification, nullptr);
        {
            std::lock_guard lock(writer->mutex);
            --writer->outstanding;
        }
        writer->idle.notify_all();
    });
}

void DRStorage::writeLatest()
{
    // From here on a change asks for a write of its own.
    {
        std::lock_guard lock(m_writer->mutex);
        m_writer->queued = false;
    }
    if (m_unreadable) {
        bool told = std::exchange(m_writer->toldNotWritten, true);
        if (!told)
            NSLog("Warning: Storage is not written to “%@”: the file there could not be read (%@) and is kept as it is. "
                  "Changes stay in memory for this run.",
                m_path, *m_unreadable);
        return;
    }
    std::map<std::string, std::shared_ptr<const Value>> members;
    {
        std::lock_guard lock(m_mutex);
        members = m_storage;
    }
    // The whole store as one pretty-printed object, written member by
    // member so that no copy of the values is made.
    std::string text = "{";
    for (const auto& [key, value] : members) {
        text += text.size() == 1 ? "\n  " : ",\n  ";
        appendJSON(text, Value(key), false);
        text += ": ";
        appendJSON(text, *value, true, 1);
    }
    text += members.empty() ? "}\n" : "\n}\n";
    if (!ensureStorageDirectory())
        return;
    std::string error;
    if (!writeFileAtomically(m_path, Value::Bytes(text.begin(), text.end()), &error))
        NSLog("Error: Persisting storage failed. (%@)", error);
}

void DRStorage::waitUntilPersisted() const
{
    std::unique_lock lock(m_writer->mutex);
    m_writer->idle.wait(lock, [this] { return m_writer->outstanding == 0; });
}

const JSExportClass& DRStorage::exportClass()
{
    static const JSExportClass& c = JSExportClass::define<DRStorage>("Storage")
                                        .method("forKey:setObject:", &DRStorage::forKeySetObject, "set")
                                        .method("objectForKey:", &DRStorage::objectForKey, "get")
                                        .method("removeObjectForKey:", &DRStorage::removeObjectForKey, "remove");
    return c;
}
