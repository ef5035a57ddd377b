// Shrinks a bound image to a fixed size: an aspect-fit copy centred in a
// transparent image of exactly that size.
#pragma once

#include <appkit/NSValueTransformer.h>
#include <foundation/CGGeometry.h>

#include <mutex>

class QXImageSizeTransformer : public NSValueTransformer {
public:
    // initWithSize:.
    explicit QXImageSizeTransformer(CGSize size)
        : m_size(size)
    {
    }

    std::string transformedValueClass() const override { return "NSImage"; }
    bool allowsReverseTransformation() const override { return false; }
    // Nil for nil (or for a value that is not an image).
    Value transformedValue(const Value& value) const override;

    CGSize size() const;
    void setSize(CGSize size);

private:
    mutable std::mutex m_mutex;
    CGSize m_size;
};
