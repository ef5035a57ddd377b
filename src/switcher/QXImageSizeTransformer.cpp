#include "QXImageSizeTransformer.h"

#include <graphics/NSImage.h>
#include <toolkit/NSImageTKExtensions.h>

Value QXImageSizeTransformer::transformedValue(const Value& value) const
{
    auto image = value.objectAs<NSImage>();
    if (!image) return Value();
    return Value(NSImageTKExtensions::imageWithSize(image, size()));
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
