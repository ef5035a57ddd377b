// The toolkit's value transformers for bindings: date text, a rolling
// average, an array-size test, number negation, a banded mapping onto
// 0..1, first-letter capitals, upper-case file names, display names and
// shortened display paths, and image resizing.
//
// Those that need no arguments are registered under their class names by
// registerNamedTransformers(), so that a binding can name them; the others
// are handed to a binding as objects (NSValueTransformerBindingOption).
// A nil value reads as 0 for the numeric ones and as a count of 0 for the
// array-size test, and gives nil from the text, path and image ones.
#pragma once

#include <appkit/NSAttributedString.h>
#include <appkit/NSValueTransformer.h>
#include <foundation/NSDateFormatter.h>
#include <graphics/NSImage.h>

#include <optional>
#include <vector>

class VTValueTransformers {
public:
    // VTInvertNumberTransformer, VTBandedValueTransformer (one band),
    // VTCapitalizer, VTDOSFilenameTransformer, VTDisplayNameTransformer and
    // VTImageSizeTransformer (200 x 200). Once per process.
    static void registerNamedTransformers();
};

// Dates to the formatter's text and back.
class VTDateTransformer : public NSValueTransformer {
public:
    explicit VTDateTransformer(Ref<NSDateFormatter> formatter);
    const Ref<NSDateFormatter>& formatter() const { return m_formatter; }
    std::string transformedValueClass() const override { return "NSString"; }
    bool allowsReverseTransformation() const override { return true; }
    Value transformedValue(const Value& value) const override;
    Value reverseTransformedValue(const Value& value) const override;

private:
    Ref<NSDateFormatter> m_formatter;
};

// The first value passes unchanged and starts the average; each later one
// gives (average x (n - 1) + value) / n in single precision. A window of 0
// counts as 1 (the average is the latest value). Not for sharing between
// threads.
class VTRollingAverageTransformer : public NSValueTransformer {
public:
    explicit VTRollingAverageTransformer(uint64_t windowSize);
    std::string transformedValueClass() const override { return "NSNumber"; }
    Value transformedValue(const Value& value) const override;

private:
    mutable float m_previousAverage { 0 };
    mutable bool m_hasAverage { false };
    uint64_t m_windowSize;
};

// YES when minSize <= count <= maxSize.
class VTArraySizeTransformer : public NSValueTransformer {
public:
    VTArraySizeTransformer(uint64_t minSize, uint64_t maxSize);
    uint64_t minSize() const { return m_minSize; }
    uint64_t maxSize() const { return m_maxSize; }
    std::string transformedValueClass() const override { return "NSNumber"; }
    Value transformedValue(const Value& value) const override;

private:
    uint64_t m_minSize;
    uint64_t m_maxSize;
};

// The negated number (single precision), both ways.
class VTInvertNumberTransformer : public NSValueTransformer {
public:
    std::string transformedValueClass() const override { return "NSNumber"; }
    bool allowsReverseTransformation() const override { return true; }
    Value transformedValue(const Value& value) const override;
    Value reverseTransformedValue(const Value& value) const override;
};

// Maps a value through ascending thresholds onto 0..1, each band between
// neighbouring thresholds taking an equal share, and back. Any number of
// thresholds; none counts as the single threshold 0. A value that is not a
// number (NaN) maps to 0 and back to the first threshold.
class VTBandedValueTransformer : public NSValueTransformer {
public:
    VTBandedValueTransformer();
    explicit VTBandedValueTransformer(std::vector<double> thresholds);
    void setThresholds(std::vector<double> thresholds);
    const std::vector<double>& thresholds() const { return m_bandThresholds; }
    std::string transformedValueClass() const override { return "NSNumber"; }
    bool allowsReverseTransformation() const override { return true; }
    Value transformedValue(const Value& value) const override;
    Value reverseTransformedValue(const Value& value) const override;

private:
    std::vector<double> m_bandThresholds;
};

// The first character capitalised, the rest unchanged; the empty string
// stays empty.
class VTCapitalizer : public NSValueTransformer {
public:
    std::string transformedValueClass() const override { return "NSString"; }
    Value transformedValue(const Value& value) const override;
};

// The path's last component in upper case.
class VTDOSFilenameTransformer : public NSValueTransformer {
public:
    std::string transformedValueClass() const override { return "NSString"; }
    Value transformedValue(const Value& value) const override;
};

// The file manager's display name of the path.
class VTDisplayNameTransformer : public NSValueTransformer {
public:
    std::string transformedValueClass() const override { return "NSString"; }
    Value transformedValue(const Value& value) const override;
};

// A path as its display components joined by the joiner, keeping the last
// maxComponents (0: all) with the ellipsis in front when some were cut.
class VTDisplayPathTransformer : public NSValueTransformer {
public:
    VTDisplayPathTransformer(std::string joiner, std::optional<std::string> ellipsis, uint64_t maxComponents);
    VTDisplayPathTransformer(std::string joiner, uint64_t maxComponents);

    const std::string& joiner() const { return m_joiner; }
    void setJoiner(std::string joiner) { m_joiner = std::move(joiner); }
    const std::optional<std::string>& ellipsis() const { return m_ellipsis; }
    void setEllipsis(std::optional<std::string> ellipsis) { m_ellipsis = std::move(ellipsis); }
    uint64_t maxComponents() const { return m_maxComponents; }
    void setMaxComponents(uint64_t count) { m_maxComponents = count; }
    bool usesFilesystemDisplayPath() const { return m_usesFilesystemDisplayPath; }
    void setUsesFilesystemDisplayPath(bool flag) { m_usesFilesystemDisplayPath = flag; }

    // The components shown for a path, and whether leading ones were cut.
    std::vector<std::string> componentsForPath(const std::string& path, bool* cut = nullptr) const;
    std::string transformedValueClass() const override { return "NSString"; }
    Value transformedValue(const Value& value) const override;

private:
    std::string m_joiner;
    std::optional<std::string> m_ellipsis;
    uint64_t m_maxComponents;
    bool m_usesFilesystemDisplayPath { true };
};

// A copy of the image with its size set to the transformer's.
class VTImageSizeTransformer : public NSValueTransformer {
public:
    // A width of 0 or less gives 200 x 200.
    explicit VTImageSizeTransformer(CGSize size);
    CGSize size() const { return m_size; }
    std::string transformedValueClass() const override { return "NSImage"; }
    Value transformedValue(const Value& value) const override;

private:
    CGSize m_size;
};
