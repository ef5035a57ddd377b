#include "QXImageSizeTransformer.h"

#include <graphics/NSImage.h>
#include <toolkit/NSImageTKExtensions.h>

#include <map>
#include <utility>

namespace {

// Every grid cell binds its preview through this transformer, and the panel
// makes its cells again whenever it shows a new list, so the same preview is
// shrunk again and again; shrinking a window-sized picture costs milliseconds.
// The shrunk copy is kept for as long as its source image lives. A preview is
// never drawn into once it is handed over (a new capture is a new image), so
// the copy stays true to its source.
class ShrunkImageCache {
public:
    Ref<NSImage> imageWithSize(const Ref<NSImage>& image, CGSize size)
    {
        Key key { image.get(), { size.width, size.height } };
        {
            std::lock_guard lock(m_mutex);
            auto found = m_entries.find(key);
            // The address of a dead image may have been given to a new one.
            if (found != m_entries.end() && found->second.source.lock() == image) return found->second.shrunk;
        }
        auto shrunk = NSImageTKExtensions::imageWithSize(image, size);
        std::lock_guard lock(m_mutex);
        std::erase_if(m_entries, [](const auto& entry) { return entry.second.source.expired(); });
        // An image that is already of the size comes back as itself: keeping
        // it here would keep it alive.
        if (shrunk && shrunk != image) m_entries[key] = { image, shrunk };
        return shrunk;
    }

private:
    using Key = std::pair<const NSImage*, std::pair<CGFloat, CGFloat>>;
    struct Entry {
        Weak<NSImage> source;
        Ref<NSImage> shrunk;
    };
    std::mutex m_mutex;
    std::map<Key, Entry> m_entries;
};

ShrunkImageCache& shrunkImages()
{
    static ShrunkImageCache cache;
    return cache;
}

}

Value QXImageSizeTransformer::transformedValue(const Value& value) const
{
    auto image = value.objectAs<NSImage>();
    if (!image) return Value();
    return Value(shrunkImages().imageWithSize(image, size()));
}

CGSize QXImageSizeTransformer::size() const
{
    std::lock_guard lock(m_mutex);
    return m_size;
}

void QXImageSizeTransformer::setSize(CGSize size)
{
    std::lock_guard lock(m_mutex);
    m_size = size;
}
