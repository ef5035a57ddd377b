// The user-defaults store: a persistent domain kept in one file, and a
// registration domain of fallbacks that is never stored.
//
// The file is a binary property list (a dictionary of the keys the user
// set) at $XDG_CONFIG_HOME/quorvex/defaults.plist, or
// $HOME/.config/quorvex/defaults.plist when XDG_CONFIG_HOME is unset or not
// absolute. It is written atomically (a temporary file in the same
// directory, flushed to disk, renamed over the old one), a moment after
// each change and at once on synchronize(). A file that was read and cannot
// be parsed is moved aside under a name with the date, and the store starts
// empty; a file that exists but cannot be read is left alone and never
// written over. Temporary files of interrupted saves are removed on load.
#pragma once

#include "NSObject.h"
#include "Token.h"
#include "Value.h"

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

// Posted on the default centre, with the defaults as object, after every
// change of the persistent domain.
extern const std::string NSUserDefaultsDidChangeNotification;

// The volatile domain whose values override the stored ones: read first,
// never saved.
extern const std::string NSArgumentDomain;

class NSUserDefaults : public NSObject {
public:
    // The shared store of the process, created on first use.
    static Ref<NSUserDefaults> standardUserDefaults();
    // Saves and drops the shared store; the next standardUserDefaults()
    // reads the file again (from the storage directory then in force).
    static void resetStandardUserDefaults();

    // The directory that holds the file; an empty string restores the
    // XDG location. Tests point it at a temporary directory.
    static void setStorageDirectory(const std::string& directory);
    static std::string storageDirectory();
    static std::string storageFilePath();

    // A store on its own file, independent of the shared one.
    static Ref<NSUserDefaults> defaultsWithFile(const std::string& path);

    explicit NSUserDefaults(std::string path);
    ~NSUserDefaults() override;

    // Adds fallbacks that reads use for keys the user has not set.
    void registerDefaults(const Value::Dictionary& registrationDictionary);

    // Nil when the key is in neither domain.
    Value objectForKey(const std::string& key) const;
    Value valueForKey(const std::string& key) const override;
    void setValueForKey(const Value& value, const std::string& key) override;

    // Typed reads with the platform's coercions: numbers and numeric or
    // YES/NO/true/false strings become booleans and numbers, numbers become
    // strings; anything else, and an absent key, reads as NO, 0 or nothing.
    bool boolForKey(const std::string& key) const;
    int64_t integerForKey(const std::string& key) const;
    float floatForKey(const std::string& key) const;
    double doubleForKey(const std::string& key) const;
    std::optional<std::string> stringForKey(const std::string& key) const;
    std::optional<Value::Bytes> dataForKey(const std::string& key) const;
    std::optional<Value::Array> arrayForKey(const std::string& key) const;
    std::optional<Value::Dictionary> dictionaryForKey(const std::string& key) const;

    // Setting nil removes the key. A value that is not a property list is
    // refused with a log line and changes nothing.
    void setObject(const Value& value, const std::string& key);
    void setBool(bool value, const std::string& key);
    void setInteger(int64_t value, const std::string& key);
    void setFloat(float value, const std::string& key);
    void setDouble(double value, const std::string& key);
    void removeObjectForKey(const std::string& key);

    // Volatile domains live for the run only and are never saved. Reads
    // look in NSArgumentDomain first, then the user's values, then the other
    // volatile domains, then the registration domain. Replacing a domain
    // tells observers of every key it had or has.
    void setVolatileDomain(const Value::Dictionary& domain, const std::string& name);
    void removeVolatileDomainForName(const std::string& name);

    // Writes pending changes now. NO when the write failed; the values stay
    // in memory, the old file stays intact and a later call tries again.
    bool synchronize();

    const std::string& path() const { return m_path; }

    // Told before (prior) and after every change of a key's value in the
    // shared store, whichever instance is shared at the time; the
    // user-defaults controller follows the store through it.
    using ChangeHandler = std::function<void(const std::string& key, bool prior)>;
    [[nodiscard]] static Token addStandardChangeHandler(ChangeHandler handler);

private:
    void load();
    static bool isStorable(const std::string& key, const Value& value, std::string* why);
    void moveAside(const std::string& reason);
    bool writeFile(const Value::Dictionary& contents, std::string* error) const;
    void change(const std::string& key, const std::function<void()>& mutate, bool persistent);
    void scheduleSave();
    void announce(const std::string& key, bool prior) const;
    Value lookup(const std::string& key) const;

    const std::string m_path;
    mutable std::mutex m_mutex;
    Value::Dictionary m_persistent;
    Value::Dictionary m_registered;
    std::map<std::string, Value::Dictionary> m_volatile;
    uint64_t m_changeCount { 0 };
    uint64_t m_savedCount { 0 };
    // Held while a snapshot is taken and written, so that writes land in
    // the order their snapshots were taken.
    std::mutex m_writeMutex;
    // Why the last save failed (guarded by m_writeMutex): a failure is
    // logged when its cause is new, and a save that works again says so.
    std::optional<std::string> m_saveFailure;
    Ref<RunLoopTimer> m_saveTimer;
    std::atomic<bool> m_isStandard { false };
    // Why a file that exists could not be read; it is never written over.
    std::optional<std::string> m_unreadable;
};
