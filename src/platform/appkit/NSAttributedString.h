// Text with attributes over ranges (UTF-16 units, as the platform counts):
// font, colour and underline. Drawing goes through the graphics layer's
// Pango text layout.
#pragma once

#include <foundation/NSObject.h>
#include <graphics/NSStringDrawing.h>

#include <memory>
#include <vector>

class NSAttributedString : public NSObject {
public:
    struct Run {
        NSRange range;
        NSStringAttributes attributes;
    };

    explicit NSAttributedString(std::string text = {}, NSStringAttributes attributes = {});

    const std::string& string() const { return m_text; }
    // In UTF-16 units.
    size_t length() const;
    const NSStringAttributes& baseAttributes() const { return m_base; }
    const std::vector<Run>& runs() const { return m_runs; }
    // Set attributes replace the base ones over the range (clamped to the
    // text; nothing for a range that starts past its end).
    void addAttributes(const NSStringAttributes& attributes, NSRange range);
    // The attributes that apply at a UTF-16 index.
    NSStringAttributes attributesAtIndex(size_t index) const;

    // A layout of the text, ready to measure and draw.
    std::unique_ptr<TextLayout> makeLayout() const;
    CGSize size() const;
    // Draws in the current graphics context (see NSStringDrawing.h).
    void drawAtPoint(CGPoint point) const;

    bool isEqual(const NSObject* other) const override;
    using NSObject::isEqual;
    std::string description() const override { return m_text; }

private:
    std::string m_text;
    NSStringAttributes m_base;
    std::vector<Run> m_runs;
};
