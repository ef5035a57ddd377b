// An immutable block of bytes behind an image. Providers share their bytes;
// copying out gives the caller its own buffer.
#pragma once

#include <foundation/Ref.h>

#include <cstddef>
#include <cstdint>
#include <vector>

class CGDataProvider {
public:
    explicit CGDataProvider(std::vector<uint8_t> bytes)
        : m_bytes(makeRef<const std::vector<uint8_t>>(std::move(bytes)))
    {
    }
    const std::vector<uint8_t>& bytes() const { return *m_bytes; }
    size_t length() const { return m_bytes->size(); }

private:
    Ref<const std::vector<uint8_t>> m_bytes;
};

using CGDataProviderRef = Ref<CGDataProvider>;

CGDataProviderRef CGDataProviderCreateWithData(const void* data, size_t length);
CGDataProviderRef CGDataProviderCreateWithBytes(std::vector<uint8_t> bytes);
// A copy of the provider's bytes; empty for a null provider.
std::vector<uint8_t> CGDataProviderCopyData(const CGDataProviderRef&);
