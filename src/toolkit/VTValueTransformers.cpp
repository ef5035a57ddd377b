#include "VTValueTransformers.h"

#include <foundation/Log.h>
#include <foundation/NSFileManager.h>
#include <foundation/NSPathUtilities.h>

#include <cmath>
#include <mutex>

void VTValueTransformers::registerNamedTransformers()
{
    static std::once_flag once;
    std::call_once(once, [] {
        NSValueTransformer::setValueTransformer(makeRef<VTInvertNumberTransformer>(), "VTInvertNumberTransformer");
        NSValueTransformer::setValueTransformer(makeRef<VTBandedValueTransformer>(), "VTBandedValueTransformer");
        NSValueTransformer::setValueTransformer(makeRef<VTCapitalizer>(), "VTCapitalizer");
        NSValueTransformer::setValueTransformer(makeRef<VTDOSFilenameTransformer>(), "VTDOSFilenameTransformer");
        NSValueTransformer::setValueTransformer(makeRef<VTDisplayNameTransformer>(), "VTDisplayNameTransformer");
        NSValueTransformer::setValueTransformer(makeRef<VTImageSizeTransformer>(CGSizeZero), "VTImageSizeTransformer");
    });
}

// MARK: Dates

VTDateTransformer::VTDateTransformer(Ref<NSDateFormatter> formatter)
    : m_formatter(std::move(formatter))
{
}

Value VTDateTransformer::transformedValue(const Value& value) const
{
    const NSDate* date = value.date();
    if (!date || !m_formatter)
        return nullptr;
    return m_formatter->stringFromDate(*date);
}

Value VTDateTransformer::reverseTransformedValue(const Value& value) const
{
    if (!value.isString() || !m_formatter)
        return nullptr;
    auto date = m_formatter->dateFromString(*value.string());
    return date ? Value(*date) : Value();
}

// MARK: Numbers

VTRollingAverageTransformer::VTRollingAverageTransformer(uint64_t windowSize)
    : m_windowSize(windowSize)
{
}

Value VTRollingAverageTransformer::transformedValue(const Value& value) const
{
    auto v = float(value.doubleValue());
    if (!m_hasAverage) {
        m_previousAverage = v;
        m_hasAverage = true;
        return value;
    }
    // A window of 0 would divide by zero; it keeps the latest value, as a
    // window of 1 does.
    float n = float(m_windowSize == 0 ? 1 : m_windowSize);
    m_previousAverage = (m_previousAverage * (n - 1) + v) / n;
    return m_previousAverage;
}

VTArraySizeTransformer::VTArraySizeTransformer(uint64_t minSize, uint64_t maxSize)
    : m_minSize(minSize)
    , m_maxSize(maxSize)
{
}

Value VTArraySizeTransformer::transformedValue(const Value& value) const
{
    uint64_t count = value.count();
    return m_minSize <= count && count <= m_maxSize;
}

Value VTInvertNumberTransformer::transformedValue(const Value& value) const { return -float(value.doubleValue()); }

Value VTInvertNumberTransformer::reverseTransformedValue(const Value& value) const { return transformedValue(value); }

VTBandedValueTransformer::VTBandedValueTransformer()
    : m_bandThresholds { 0.0 }
{
}

VTBandedValueTransformer::VTBandedValueTransformer(std::vector<double> thresholds)
{
    setThresholds(std::move(thresholds));
}

void VTBandedValueTransformer::setThresholds(std::vector<double> thresholds)
{
    m_bandThresholds = thresholds.empty() ? std::vector<double> { 0.0 } : std::move(thresholds);
}

Value VTBandedValueTransformer::transformedValue(const Value& value) const
{
    const auto& t = m_bandThresholds;
    size_t n = t.size();
    double v = value.doubleValue();
    if (std::isnan(v) || t[0] >= v)
        return 0.0;
    if (v >= t[n - 1])
        return 1.0;
    // Here t[0] < v < t[n - 1], so some threshold above v exists.
    size_t i = 1;
    while (i < n - 1 && !(t[i] > v))
        ++i;
    double width = t[i] - t[i - 1];
    double fraction = width == 0 ? 0 : (v - t[i - 1]) / width;
    return (double(i - 1) + fraction) / double(n - 1);
}

Value VTBandedValueTransformer::reverseTransformedValue(const Value& value) const
{
    const auto& t = m_bandThresholds;
    size_t n = t.size();
    double p = value.doubleValue();
    if (std::isnan(p) || n < 2)
        return t[0];
    if (p >= 1.0)
        return t[n - 1];
    if (0.0 >= p)
        return t[0];
    double step = 1.0 / double(n - 1);
    // Just below 1 the quotient can round up to the last band's end; the
    // band is kept to the last one.
    auto k = std::min(size_t(std::floor(p / step)), n - 2);
    return t[k] + (p - double(k) * step) / step * (t[k + 1] - t[k]);
}

// MARK: Text and paths

Value VTCapitalizer::transformedValue(const Value& value) const
{
    if (value.isNil())
        return nullptr;
    auto [first, rest] = NSStringSplitFirstCharacter(value.stringValue());
    return NSStringCapitalized(first) + rest;
}

Value VTDOSFilenameTransformer::transformedValue(const Value& value) const
{
    if (value.isNil())
        return nullptr;
    return NSStringUppercase(NSStringLastPathComponent(value.stringValue()));
}

Value VTDisplayNameTransformer::transformedValue(const Value& value) const
{
    if (value.isNil())
        return nullptr;
    return NSFileManager::defaultManager()->displayNameAtPath(value.stringValue());
}

VTDisplayPathTransformer::VTDisplayPathTransformer(std::string joiner, std::optional<std::string> ellipsis,
    uint64_t maxComponents)
    : m_joiner(std::move(joiner))
    , m_ellipsis(std::move(ellipsis))
    , m_maxComponents(maxComponents)
{
}

VTDisplayPathTransformer::VTDisplayPathTransformer(std::string joiner, uint64_t maxComponents)
    : VTDisplayPathTransformer(std::move(joiner), std::nullopt, maxComponents)
{
}

std::vector<std::string> VTDisplayPathTransformer::componentsForPath(const std::string& path, bool* cut) const
{
    std::optional<std::vector<std::string>> shown;
    if (m_usesFilesystemDisplayPath)
        shown = NSFileManager::defaultManager()->componentsToDisplayForPath(path);
    if (!shown) {
        shown.emplace();
        for (auto& component : NSStringPathComponents(path))
            if (component != "/")
                shown->push_back(std::move(component));
    }
    bool wasCut = m_maxComponents != 0 && shown->size() > m_maxComponents;
    if (wasCut)
        shown->erase(shown->begin(), shown->end() - std::ptrdiff_t(m_maxComponents));
    if (cut)
        *cut = wasCut;
    return *shown;
}

Value VTDisplayPathTransformer::transformedValue(const Value& value) const
{
    if (value.isNil())
        return nullptr;
    bool cut = false;
    std::string joined;
    auto components = componentsForPath(value.stringValue(), &cut);
    for (size_t i = 0; i < components.size(); ++i)
        joined += (i ? m_joiner : "") + components[i];
    if (cut && m_ellipsis)
        joined = *m_ellipsis + joined;
    return joined;
}

// MARK: Images

VTImageSizeTransformer::VTImageSizeTransformer(CGSize size)
    : m_size(size.width <= 0 ? CGSizeMake(200, 200) : size)
{
}

Value VTImageSizeTransformer::transformedValue(const Value& value) const
{
    auto image = value.objectAs<NSImage>();
    if (!image)
        return nullptr;
    NSLog("%f", m_size.width);
    auto copy = image->copy();
    copy->setSize(m_size);
    return copy;
}
