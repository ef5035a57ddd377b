#include "NSUserDefaults.h"

#include "AtomicFile.h"
#include "Clock.h"
#include "Log.h"
#include "NSNotificationCenter.h"
#include "NSPropertyListSerialization.h"
#include "PlistSupport.h"
#include "RunLoop.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <pwd.h>
#include <set>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

const std::string NSUserDefaultsDidChangeNotification = "NSUserDefaultsDidChangeNotification";
const std::string NSArgumentDomain = "NSArgumentDomain";

namespace {

// Changes are saved this long after the first of a burst (a window being
// dragged writes its frame on every move), so one write covers them all.
constexpr double kSaveDelay = 1.0;
constexpr const char* kFileName = "defaults.plist";
constexpr const char* kDirectoryName = "quorvex";
// Seconds from 1970-01-01 to 2001-01-01.
constexpr double kUnixToReference = 978307200.0;

std::mutex gDirectoryMutex;
std::string gDirectoryOverride;

std::mutex gStandardMutex;
Ref<NSUserDefaults>& standardSlot()
{
    static auto* slot = new Ref<NSUserDefaults>();
    return *slot;
}

struct HandlerEntry {
    uint64_t id;
    std::shared_ptr<NSUserDefaults::ChangeHandler> handler;
};
std::mutex gHandlersMutex;
std::vector<HandlerEntry> gHandlers;
uint64_t gNextHandlerId = 1;

void saveStandardAtExit()
{
    Ref<NSUserDefaults> defaults;
    {
        std::lock_guard lock(gStandardMutex);
        defaults = standardSlot();
    }
    if (defaults)
        defaults->synchronize();
}

std::string homeDirectory()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result && result->pw_dir)
        return result->pw_dir;
    return ".";
}

std::string errnoText(int error) { return std::strerror(error); }

// The real date: a file moved aside is found by the day it happened, which
// the run's own clock (virtual in tests and sessions) does not tell.
std::string timestamp()
{
    auto seconds = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm parts {};
    gmtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
    return text;
}

bool boolFromString(const std::string& s)
{
    if (strcasecmp(s.c_str(), "yes") == 0 || strcasecmp(s.c_str(), "true") == 0)
        return true;
    if (strcasecmp(s.c_str(), "no") == 0 || strcasecmp(s.c_str(), "false") == 0)
        return false;
    return Value(s).integerValue() != 0;
}

} // namespace

void NSUserDefaults::setStorageDirectory(const std::string& directory)
{
    std::lock_guard lock(gDirectoryMutex);
    gDirectoryOverride = directory;
}

std::string NSUserDefaults::storageDirectory()
{
    {
        std::lock_guard lock(gDirectoryMutex);
        if (!gDirectoryOverride.empty())
            return gDirectoryOverride;
    }
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return std::string(config) + "/" + kDirectoryName;
    return homeDirectory() + "/.config/" + kDirectoryName;
}

std::string NSUserDefaults::storageFilePath() { return storageDirectory() + "/" + kFileName; }

Ref<NSUserDefaults> NSUserDefaults::standardUserDefaults()
{
    std::lock_guard lock(gStandardMutex);
    auto& slot = standardSlot();
    if (!slot) {
        static std::once_flag atExit;
        std::call_once(atExit, [] { std::atexit(saveStandardAtExit); });
        slot = makeRef<NSUserDefaults>(storageFilePath());
        slot->m_isStandard = true;
    }
    return slot;
}

void NSUserDefaults::resetStandardUserDefaults()
{
    Ref<NSUserDefaults> previous;
    {
        std::lock_guard lock(gStandardMutex);
        previous = std::move(standardSlot());
        standardSlot() = nullptr;
    }
    if (previous) {
        previous->m_isStandard = false;
        previous->synchronize();
    }
}

Ref<NSUserDefaults> NSUserDefaults::defaultsWithFile(const std::string& path) { return makeRef<NSUserDefaults>(path); }

Token NSUserDefaults::addStandardChangeHandler(ChangeHandler handler)
{
    std::lock_guard lock(gHandlersMutex);
    uint64_t id = gNextHandlerId++;
    gHandlers.push_back({ id, std::make_shared<ChangeHandler>(std::move(handler)) });
    return Token([id] {
        std::lock_guard lock(gHandlersMutex);
        std::erase_if(gHandlers, [id](const HandlerEntry& e) { return e.id == id; });
    });
}

NSUserDefaults::NSUserDefaults(std::string path)
    : m_path(std::move(path))
{
    load();
}

NSUserDefaults::~NSUserDefaults()
{
    if (m_saveTimer)
        m_saveTimer->invalidate();
    bool pending;
    {
        std::lock_guard lock(m_mutex);
        pending = m_changeCount != m_savedCount;
    }
    if (pending)
        synchronize();
}

void NSUserDefaults::load()
{
    // An interrupted save leaves its temporary file (".defaults.plist.XXXXXX")
    // beside the store; they are of no use once the store is read again.
    removeStaleTemporaryFiles(m_path);
    // Settings are small: a file far larger than any could be is refused
    // before it is read into anything, as is one that expands to more
    // objects than settings hold.
    int readError = 0;
    auto data = readFileContents(m_path, &readError, kMaxSmallPropertyListBytes);
    if (readError == EFBIG) {
        moveAside("it is larger than " + std::to_string(kMaxSmallPropertyListBytes) + " bytes, far more than settings hold");
        return;
    }
    if (!data) {
        // No file, or no directory for it yet: a first run. Anything else
        // (no permission, a directory in the way) may still hold the user's
        // settings: it is neither moved nor written over.
        if (readError != ENOENT && readError != ENOTDIR) {
            m_unreadable = errnoText(readError);
            NSLog("The user defaults file %@ could not be read (%@); it is left as it is, the defaults apply, and "
                  "changes are kept for this run only.",
                m_path, *m_unreadable);
        }
        return;
    }
    std::string error;
    PlistExactDates dates;
    auto tree = parsePropertyListData(data->data(), data->size(), nullptr, &error, &dates, kMaxSmallPropertyListNodes);
    auto contents = tree ? valueFromPlist(tree.get(), &error, &dates) : std::nullopt;
    if (!contents) {
        moveAside(error);
        return;
    }
    if (!contents->isDictionary()) {
        moveAside("it does not hold a dictionary");
        return;
    }
    m_persistent = *contents->dictionary();
    // A value the file holds but could not hold again (a string that is not
    // UTF-8) would make every later save fail: it is dropped here instead.
    std::erase_if(m_persistent, [this](const auto& entry) {
        std::string why;
        if (isStorable(entry.first, entry.second, &why))
            return false;
        NSLog("The user defaults file %@ holds a value for \"%@\" that cannot be kept (%@); it is dropped.", m_path,
            entry.first, why);
        return true;
    });
}

bool NSUserDefaults::isStorable(const std::string& key, const Value& value, std::string* why)
{
    return PlistPtr(plistFromValue(Value(Value::Dictionary { { key, value } }), why)) != nullptr;
}

void NSUserDefaults::moveAside(const std::string& reason)
{
    // Where the settings are a link (into a folder of dotfiles), the file
    // it leads to is moved aside beside itself and the link stays, so the
    // next save writes that file again.
    std::string file = atomicWriteTarget(m_path);
    std::string base = file + ".corrupt-" + timestamp();
    std::string target = base;
    struct stat st;
    for (int n = 2; ::lstat(target.c_str(), &st) == 0; ++n)
        target = base + "-" + std::to_string(n);
    if (::rename(file.c_str(), target.c_str()) == 0) {
        NSLog("The user defaults file %@ could not be read (%@); it was moved to %@ and the defaults apply.", m_path,
            reason, target);
    } else {
        NSLog("The user defaults file %@ could not be read (%@) nor moved aside (%@); the defaults apply.", m_path,
            reason, errnoText(errno));
    }
}

bool NSUserDefaults::writeFile(const Value::Dictionary& contents, std::string* error) const
{
    auto data
        = NSPropertyListSerialization::dataWithPropertyList(Value(contents), NSPropertyListBinaryFormat_v1_0, error);
    if (!data)
        return false;
    auto directory = std::filesystem::path(m_path).parent_path();
    std::error_code made;
    if (!directory.empty())
        std::filesystem::create_directories(directory, made);
    if (made) {
        *error = "the directory " + directory.string() + " cannot be created: " + made.message();
        return false;
    }
    return writeFileAtomically(m_path, *data, error);
}

bool NSUserDefaults::synchronize()
{
    std::lock_guard writeLock(m_writeMutex);
    Value::Dictionary snapshot;
    uint64_t count;
    {
        std::lock_guard lock(m_mutex);
        if (m_changeCount == m_savedCount)
            return true;
        snapshot = m_persistent;
        count = m_changeCount;
    }
    std::string error;
    if (m_unreadable) {
        if (m_saveFailure != m_unreadable)
            NSLog("Could not save the user defaults to %@: the file there could not be read (%@) and is kept. The "
                  "values stay in memory.",
                m_path, *m_unreadable);
        m_saveFailure = m_unreadable;
        return false;
    }
    if (!writeFile(snapshot, &error)) {
        // A fault that lasts fails every save the same way: one line per
        // cause, not one per change.
        if (m_saveFailure != error)
            NSLog("Could not save the user defaults to %@: %@. The values stay in memory.", m_path, error);
        m_saveFailure = error;
        return false;
    }
    if (std::exchange(m_saveFailure, std::nullopt))
        NSLog("The user defaults are saved to %@ again.", m_path);
    std::lock_guard lock(m_mutex);
    m_savedCount = std::max(m_savedCount, count);
    return true;
}

void NSUserDefaults::scheduleSave()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_saveTimer && m_saveTimer->isValid())
            return;
    }
    Weak<NSUserDefaults> weak = std::static_pointer_cast<NSUserDefaults>(weak_from_this().lock());
    auto timer = RunLoop::main().performAfterDelay(this, "synchronize", kSaveDelay,
        [weak] {
            if (auto defaults = weak.lock())
                defaults->synchronize();
        },
        { kCFRunLoopCommonModes });
    std::lock_guard lock(m_mutex);
    m_saveTimer = timer;
}

void NSUserDefaults::announce(const std::string& key, bool prior) const
{
    if (!m_isStandard)
        return;
    std::vector<std::shared_ptr<ChangeHandler>> handlers;
    {
        std::lock_guard lock(gHandlersMutex);
        for (const auto& entry : gHandlers)
            handlers.push_back(entry.handler);
    }
    for (const auto& handler : handlers)
        (*handler)(key, prior);
}

void NSUserDefaults::change(const std::string& key, const std::function<void()>& mutate, bool persistent)
{
    announce(key, true);
    willChangeValueForKey(key);
    {
        std::lock_guard lock(m_mutex);
        mutate();
        if (persistent)
            ++m_changeCount;
    }
    didChangeValueForKey(key);
    announce(key, false);
    if (persistent) {
        scheduleSave();
        NSNotificationCenter::defaultCenter().postNotificationName(
            NSUserDefaultsDidChangeNotification, selfRef<NSObject>(), {});
    }
}

void NSUserDefaults::registerDefaults(const Value::Dictionary& registrationDictionary)
{
    for (const auto& entry : registrationDictionary) {
        // Named references, not a structured binding: lambdas capture them
        // with every compiler the project builds with.
        const auto& key = entry.first;
        const auto& value = entry.second;
        auto mutate = [this, &key, &value] {
            if (value.isNil())
                m_registered.erase(key);
            else
                m_registered[key] = value;
        };
        bool shadowed;
        {
            std::lock_guard lock(m_mutex);
            shadowed = m_persistent.count(key) > 0;
            if (shadowed)
                mutate();
        }
        // Only a key the user has not set reads differently now.
        if (!shadowed)
            change(key, mutate, false);
    }
}

void NSUserDefaults::setVolatileDomain(const Value::Dictionary& domain, const std::string& name)
{
    std::set<std::string> keys;
    {
        std::lock_guard lock(m_mutex);
        if (auto it = m_volatile.find(name); it != m_volatile.end())
            for (const auto& entry : it->second)
                keys.insert(entry.first);
    }
    for (const auto& entry : domain)
        keys.insert(entry.first);
    for (const auto& key : keys) {
        announce(key, true);
        willChangeValueForKey(key);
    }
    {
        std::lock_guard lock(m_mutex);
        if (domain.empty())
            m_volatile.erase(name);
        else
            m_volatile[name] = domain;
    }
    for (const auto& key : keys) {
        didChangeValueForKey(key);
        announce(key, false);
    }
}

void NSUserDefaults::removeVolatileDomainForName(const std::string& name) { setVolatileDomain({}, name); }

Value NSUserDefaults::lookup(const std::string& key) const
{
    std::lock_guard lock(m_mutex);
    auto inVolatile = [&](bool arguments) -> const Value* {
        for (const auto& [name, domain] : m_volatile)
            if ((name == NSArgumentDomain) == arguments)
                if (auto it = domain.find(key); it != domain.end())
                    return &it->second;
        return nullptr;
    };
    if (const Value* v = inVolatile(true))
        return *v;
    if (auto it = m_persistent.find(key); it != m_persistent.end())
        return it->second;
    if (const Value* v = inVolatile(false))
        return *v;
    if (auto it = m_registered.find(key); it != m_registered.end())
        return it->second;
    return {};
}

Value NSUserDefaults::objectForKey(const std::string& key) const { return lookup(key); }

Value NSUserDefaults::valueForKey(const std::string& key) const { return lookup(key); }

void NSUserDefaults::setValueForKey(const Value& value, const std::string& key) { setObject(value, key); }

bool NSUserDefaults::boolForKey(const std::string& key) const { return boolFromObject(lookup(key)); }

bool NSUserDefaults::boolFromObject(const Value& value)
{
    switch (value.type()) {
    case Value::Type::Bool:
    case Value::Type::Integer:
        return value.boolValue();
    case Value::Type::Double:
        return value.doubleValue() != 0 && !std::isnan(value.doubleValue());
    case Value::Type::String:
        return boolFromString(*value.string());
    default:
        return false;
    }
}

int64_t NSUserDefaults::integerForKey(const std::string& key) const
{
    Value value = lookup(key);
    return value.isNumber() || value.isString() ? value.integerValue() : 0;
}

float NSUserDefaults::floatForKey(const std::string& key) const { return static_cast<float>(doubleForKey(key)); }

double NSUserDefaults::doubleForKey(const std::string& key) const
{
    Value value = lookup(key);
    return value.isNumber() || value.isString() ? value.doubleValue() : 0;
}

std::optional<std::string> NSUserDefaults::stringForKey(const std::string& key) const
{
    Value value = lookup(key);
    if (value.isString() || value.isNumber())
        return value.stringValue();
    return std::nullopt;
}

std::optional<Value::Bytes> NSUserDefaults::dataForKey(const std::string& key) const
{
    Value value = lookup(key);
    if (auto data = value.data())
        return *data;
    return std::nullopt;
}

std::optional<Value::Array> NSUserDefaults::arrayForKey(const std::string& key) const
{
    Value value = lookup(key);
    if (auto array = value.array())
        return *array;
    return std::nullopt;
}

std::optional<Value::Dictionary> NSUserDefaults::dictionaryForKey(const std::string& key) const
{
    Value value = lookup(key);
    if (auto dict = value.dictionary())
        return *dict;
    return std::nullopt;
}

void NSUserDefaults::setObject(const Value& value, const std::string& key)
{
    if (value.isNil()) {
        removeObjectForKey(key);
        return;
    }
    // The key is checked with the value: one entry the file cannot hold
    // would make every later write of the store fail.
    std::string reason;
    if (!NSPropertyListSerialization::propertyListIsValidForFormat(
            Value(Value::Dictionary { { key, value } }), NSPropertyListBinaryFormat_v1_0, &reason)) {
        NSLog("Attempt to set a non-property-list object %@ as an NSUserDefaults value for key %@ (%@); "
              "nothing was stored.",
            value, key, reason);
        return;
    }
    change(
        key, [this, &key, &value] { m_persistent[key] = value; }, true);
}

void NSUserDefaults::setBool(bool value, const std::string& key) { setObject(Value(value), key); }

void NSUserDefaults::setInteger(int64_t value, const std::string& key) { setObject(Value(value), key); }

void NSUserDefaults::setFloat(float value, const std::string& key) { setObject(Value(value), key); }

void NSUserDefaults::setDouble(double value, const std::string& key) { setObject(Value(value), key); }

void NSUserDefaults::removeObjectForKey(const std::string& key)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_persistent.count(key))
            return;
    }
    change(
        key, [this, &key] { m_persistent.erase(key); }, true);
}
