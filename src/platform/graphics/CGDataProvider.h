// An immutable block of bytes behind an image. Providers share their bytes;
// copying out gives the caller its own buffer.
#pragma once

#include <foundation/Ref.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

class CGDataProvider {
public:
    explicit CGDataProvider(std::vector<uint8_t> bytes);
    // `length` bytes that `write` fills before anything else sees them; they
    // are not zeroed first (a full-screen picture's worth of zeros costs
    // about as much as copying it).
    CGDataProvider(size_t length, const std::function<void(uint8_t*)>& write);

    std::span<const uint8_t> bytes() const { return { m_data, m_length }; }
    size_t length() const { return m_length; }

private:
    std::shared_ptr<const void> m_owner;
    const uint8_t* m_data { nullptr };
    size_t m_length { 0 };
};

using CGDataProviderRef = Ref<CGDataProvider>;

CGDataProviderRef CGDataProviderCreateWithData(const void* data, size_t length);
CGDataProviderRef CGDataProviderCreateWithBytes(std::vector<uint8_t> bytes);
// A provider of `length` bytes, every one of which `write` must set: the
// memory comes as it is, so an operation that produces a whole picture does
// not pay for clearing it first. An exception from `write` reaches the
// caller and no provider is made.
CGDataProviderRef CGDataProviderCreateWithWriter(size_t length, const std::function<void(uint8_t*)>& write);
// A copy of the provider's bytes; empty for a null provider.
std::vector<uint8_t> CGDataProviderCopyData(const CGDataProviderRef&);
