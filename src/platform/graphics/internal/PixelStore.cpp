#include "PixelStore.h"

#include <foundation/LargeBuffers.h>

#include <cstring>
#include <new>

namespace gfx {

Ref<PixelStore> PixelStore::create(const PixelFormat& format, uint8_t* external)
{
    try {
        return makeRef<PixelStore>(format, external);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

PixelStore::PixelStore(const PixelFormat& format, uint8_t* external)
    : m_format(format)
{
    if (external) {
        m_data = external;
        m_external = true;
    } else {
        reserveLargeBuffer(m_owned, format.byteCount());
        m_owned.assign(format.byteCount(), 0);
        m_data = m_owned.data();
    }
    m_direct = format.isContextFormat() && format.isNativeSurface();
}

PixelStore::~PixelStore()
{
    if (m_surface)
        cairo_surface_destroy(m_surface);
}

const uint8_t* PixelStore::bytes()
{
    if (m_bytesStale) {
        if (m_direct)
            cairo_surface_flush(m_surface);
        else
            download();
        m_bytesStale = false;
    }
    return m_data;
}

uint8_t* PixelStore::mutableBytes()
{
    bytes();
    m_surfaceStale = true;
    ++m_generation;
    return m_data;
}

cairo_surface_t* PixelStore::surface()
{
    if (!canDraw())
        return nullptr;
    if (!m_surface) {
        cairo_format_t cf = m_format.model == PixelFormat::Model::AlphaOnly ? CAIRO_FORMAT_A8
            : m_format.hasAlpha()                                          ? CAIRO_FORMAT_ARGB32
                                                                           : CAIRO_FORMAT_RGB24;
        if (m_direct)
            m_surface = cairo_image_surface_create_for_data(m_data, cf, int(m_format.width), int(m_format.height),
                int(m_format.bytesPerRow));
        else
            m_surface = cairo_image_surface_create(cf, int(m_format.width), int(m_format.height));
        m_surfaceStale = true;
    }
    return m_surface;
}

cairo_surface_t* PixelStore::beginDrawing()
{
    if (!surface())
        return nullptr;
    if (m_direct) {
        if (m_surfaceStale || m_external)
            cairo_surface_mark_dirty(m_surface);
    } else if (m_surfaceStale || m_external) {
        upload();
    }
    m_surfaceStale = false;
    m_bytesStale = true;
    ++m_generation;
    return m_surface;
}

void PixelStore::endDrawing()
{
    if (!m_surface)
        return;
    cairo_surface_flush(m_surface);
    if (m_external) {
        if (!m_direct)
            download();
        m_bytesStale = false;
    }
}

void PixelStore::upload()
{
    cairo_surface_flush(m_surface);
    uint8_t* base = cairo_image_surface_get_data(m_surface);
    int stride = cairo_image_surface_get_stride(m_surface);
    for (size_t y = 0; y < m_format.height; ++y) {
        const uint8_t* src = m_data + y * m_format.bytesPerRow;
        uint8_t* dst = base + y * stride;
        if (m_format.model == PixelFormat::Model::AlphaOnly)
            std::memcpy(dst, src, m_format.width);
        else
            unpackRow(m_format, src, reinterpret_cast<uint32_t*>(dst));
    }
    cairo_surface_mark_dirty(m_surface);
}

void PixelStore::download()
{
    cairo_surface_flush(m_surface);
    const uint8_t* base = cairo_image_surface_get_data(m_surface);
    int stride = cairo_image_surface_get_stride(m_surface);
    for (size_t y = 0; y < m_format.height; ++y) {
        const uint8_t* src = base + y * stride;
        uint8_t* dst = m_data + y * m_format.bytesPerRow;
        if (m_format.model == PixelFormat::Model::AlphaOnly)
            std::memcpy(dst, src, m_format.width);
        else
            packRow(m_format, reinterpret_cast<const uint32_t*>(src), dst);
    }
}

} // namespace gfx
