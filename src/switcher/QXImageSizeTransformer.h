// Shrinks a bound image to a fixed size: an aspect-fit copy centred in a
// transparent image of exactly that size.
#pragma once

#include <appkit/NSValueTransformer.h>
#include <foundation/CGGeometry.h>

#include <mutex>
#include <vector>

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
    // Shrinks the images among the values that were not shrunk yet side by
    // side on the kept threads, so that transforming them later takes the
    // copies made here (a panel's cells bind their previews one by one).
    void prepareTransformedValues(const std::vector<Value>& values) const;

    CGSize size() const;
    void setSize(CGSize size);

private:
    mutable std::mutex m_mutex;
    CGSize m_size;
};
