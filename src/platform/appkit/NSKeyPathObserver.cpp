#include "NSKeyPathObserver.h"

#include <vector>

namespace {

std::vector<std::string> splitKeyPath(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t dot = path.find('.', start);
        parts.push_back(path.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    return parts;
}

class KeyPathObservation : public std::enable_shared_from_this<KeyPathObservation> {
public:
    KeyPathObservation(const NSObject& root, std::string keyPath, unsigned options, KVOHandler handler)
        : m_root(&root)
        , m_rootWeak(root.weak_from_this())
        , m_rootShared(!m_rootWeak.expired())
        , m_keyPath(std::move(keyPath))
        , m_keys(splitKeyPath(m_keyPath))
        , m_options(options)
        , m_handler(std::move(handler))
    {
    }

    void start()
    {
        rebuild(0);
        m_last = currentValue();
        if (m_options & NSKeyValueObservingOptionInitial) {
            KVOChange change { m_keyPath, false, {}, {} };
            if (m_options & NSKeyValueObservingOptionNew)
                change.newValue = m_last;
            m_handler(change);
        }
    }

    void stop()
    {
        m_stopped = true;
        m_levels.clear();
    }

private:
    struct Level {
        Weak<NSObject> object;
        Token token;
    };

    // A root owned by a Ref may go away while an intermediate object lives
    // on; the observation then goes quiet.
    bool rootGone() const { return m_rootShared && m_rootWeak.expired(); }

    Value currentValue() const { return rootGone() ? Value() : m_root->valueForKeyPath(m_keyPath); }

    // Observes the path from the key at the given depth on, reading the
    // object that holds that key afresh.
    void rebuild(size_t from)
    {
        if (rootGone()) {
            m_levels.clear();
            return;
        }
        m_levels.resize(from);
        m_objects.resize(from > 0 ? from - 1 : 0);
        const NSObject* object = m_root;
        Ref<NSObject> holder;
        if (from > 0) {
            Ref<NSObject> parentHolder;
            const NSObject* parent = m_root;
            if (from >= 2) {
                parentHolder = m_objects[from - 2].lock();
                parent = parentHolder.get();
            }
            if (!parent)
                return;
            holder = parent->valueForKey(m_keys[from - 1]).object();
            m_objects.push_back(holder);
            object = holder.get();
        }
        for (size_t i = from; i < m_keys.size() && object; ++i) {
            const std::string& key = m_keys[i];
            if (!key.empty() && key[0] == '@')
                break;
            std::weak_ptr<KeyPathObservation> weakSelf = weak_from_this();
            Level level;
            level.object = holder;
            level.token = object->addObserver(key, 0, [weakSelf, i](const KVOChange& change) {
                if (auto self = weakSelf.lock())
                    self->changed(i, change.isPrior);
            });
            m_levels.push_back(std::move(level));
            if (i + 1 >= m_keys.size())
                break;
            holder = object->valueForKey(key).object();
            m_objects.push_back(holder);
            object = holder.get();
        }
    }

    void changed(size_t depth, bool prior)
    {
        if (m_stopped || prior || rootGone())
            return;
        if (depth + 1 < m_keys.size())
            rebuild(depth + 1);
        Value now = currentValue();
        KVOChange change { m_keyPath, false, {}, {} };
        if (m_options & NSKeyValueObservingOptionOld)
            change.oldValue = m_last;
        if (m_options & NSKeyValueObservingOptionNew)
            change.newValue = now;
        m_last = now;
        // Copy: the handler may end this observation.
        KVOHandler handler = m_handler;
        handler(change);
    }

    const NSObject* m_root;
    std::weak_ptr<const NSObject> m_rootWeak;
    bool m_rootShared;
    std::string m_keyPath;
    std::vector<std::string> m_keys;
    unsigned m_options;
    KVOHandler m_handler;
    std::vector<Level> m_levels;
    // The object reached after each key but the last, weakly.
    std::vector<Weak<NSObject>> m_objects;
    Value m_last;
    bool m_stopped { false };
};

}

Token NSObserveKeyPath(const NSObject& root, const std::string& keyPath, unsigned options, KVOHandler handler)
{
    auto observation = std::make_shared<KeyPathObservation>(root, keyPath, options, std::move(handler));
    observation->start();
    return Token([observation] { observation->stop(); });
}
