#include "QXImageSizeTransformer.h"

#include <foundation/LargeBuffers.h>
#include <foundation/ParallelFor.h>
#include <graphics/CGImage.h>
#include <graphics/NSBitmapImageRep.h>
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
// the copy stays true to its source. Copies of sources that died go at the
// next copy made, or when the program hands memory back (the windows closed
// and no panel came since).
class ShrunkImageCache {
public:
    ShrunkImageCache() { m_keeper = addLargeBufferKeeper([this] { forgetDeadSources(); }); }

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
        if (shrunk && shrunk != image)
            prepareForDrawing(*shrunk);
        std::lock_guard lock(m_mutex);
        forgetDeadSourcesLocked();
        // An image that is already of the size comes back as itself: keeping
        // it here would keep it alive.
        if (shrunk && shrunk != image) m_entries[key] = { image, shrunk };
        return shrunk;
    }

    bool contains(const Ref<NSImage>& image, CGSize size)
    {
        std::lock_guard lock(m_mutex);
        auto found = m_entries.find({ image.get(), { size.width, size.height } });
        return found != m_entries.end() && found->second.source.lock() == image;
    }

private:
    void forgetDeadSources()
    {
        std::lock_guard lock(m_mutex);
        forgetDeadSourcesLocked();
    }
    void forgetDeadSourcesLocked()
    {
        std::erase_if(m_entries, [](const auto& entry) { return entry.second.source.expired(); });
    }

    // Drawing a copy first turns its pixels into an image and a surface to
    // draw from; that is done here, while the copy is still this thread's
    // alone, so that a copy made on a kept thread comes ready to draw.
    static void prepareForDrawing(NSImage& shrunk)
    {
        for (const auto& rep : shrunk.representations())
            if (auto bitmap = dynamicRef<NSBitmapImageRep>(rep))
                if (auto pixels = bitmap->CGImage())
                    pixels->cairoSurface();
    }

    using Key = std::pair<const NSImage*, std::pair<CGFloat, CGFloat>>;
    struct Entry {
        Weak<NSImage> source;
        Ref<NSImage> shrunk;
    };
    std::mutex m_mutex;
    std::map<Key, Entry> m_entries;
    Token m_keeper;
};

ShrunkImageCache& shrunkImages()
{
    // Never destroyed: the memory keeper it registers lives as long.
    static auto* cache = new ShrunkImageCache;
    return *cache;
}

}

Value QXImageSizeTransformer::transformedValue(const Value& value) const
{
    auto image = value.objectAs<NSImage>();
    if (!image) return Value();
    return Value(shrunkImages().imageWithSize(image, size()));
}

void QXImageSizeTransformer::prepareTransformedValues(const std::vector<Value>& values) const
{
    CGSize target = size();
    std::vector<Ref<NSImage>> images;
    for (const auto& value : values)
        if (auto image = value.objectAs<NSImage>(); image && !shrunkImages().contains(image, target))
            images.push_back(image);
    parallelFor(images.size(), [&](size_t i) { shrunkImages().imageWithSize(images[i], target); });
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
