#include "CGDataProvider.h"

#include <foundation/LargeBuffers.h>

CGDataProvider::CGDataProvider(std::vector<uint8_t> bytes)
{
    auto kept = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    m_data = kept->data();
    m_length = kept->size();
    m_owner = std::move(kept);
}

CGDataProvider::CGDataProvider(size_t length, const std::function<void(uint8_t*)>& write)
{
    std::shared_ptr<uint8_t[]> bytes = std::make_shared_for_overwrite<uint8_t[]>(length);
    adviseHugePages(bytes.get(), length);
    write(bytes.get());
    m_data = bytes.get();
    m_length = length;
    m_owner = std::move(bytes);
}

CGDataProviderRef CGDataProviderCreateWithData(const void* data, size_t length)
{
    if (!data && length)
        return nullptr;
    auto* p = static_cast<const uint8_t*>(data);
    return makeRef<CGDataProvider>(std::vector<uint8_t>(p, p + length));
}

CGDataProviderRef CGDataProviderCreateWithBytes(std::vector<uint8_t> bytes)
{
    return makeRef<CGDataProvider>(std::move(bytes));
}

CGDataProviderRef CGDataProviderCreateWithWriter(size_t length, const std::function<void(uint8_t*)>& write)
{
    return makeRef<CGDataProvider>(length, write);
}

std::vector<uint8_t> CGDataProviderCopyData(const CGDataProviderRef& provider)
{
    if (!provider)
        return {};
    auto bytes = provider->bytes();
    return { bytes.begin(), bytes.end() };
}
