#include "CGDataProvider.h"

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

std::vector<uint8_t> CGDataProviderCopyData(const CGDataProviderRef& provider)
{
    return provider ? provider->bytes() : std::vector<uint8_t> {};
}
