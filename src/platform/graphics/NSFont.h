// Fonts by name and size, resolved through fontconfig. A PostScript-style
// suffix ("Helvetica-Bold", "-Oblique") picks the weight and slant.
// Helvetica and the system font resolve to a face with Helvetica's metrics
// (Nimbus Sans), falling back to Liberation Sans and the desktop's sans-serif. Sizes are in points,
// and one point is one pixel of a context.
#pragma once

#include <foundation/CGGeometry.h>
#include <foundation/NSObject.h>

typedef struct _PangoFontDescription PangoFontDescription;

class NSFont : public NSObject {
public:
    // Null for an empty name or a size that is not positive.
    static Ref<NSFont> fontWithName(const std::string& name, CGFloat size);
    static Ref<NSFont> systemFontOfSize(CGFloat size);
    static Ref<NSFont> boldSystemFontOfSize(CGFloat size);
    static CGFloat systemFontSize() { return 13; }

    NSFont(std::string name, std::string family, bool bold, bool italic, CGFloat size);
    ~NSFont() override;

    const std::string& fontName() const { return m_name; }
    const std::string& familyName() const { return m_family; }
    CGFloat pointSize() const { return m_size; }
    bool isBold() const { return m_bold; }
    bool isItalic() const { return m_italic; }
    // Distance from the baseline to the top and (negative) bottom of the face.
    CGFloat ascender() const;
    CGFloat descender() const;

    // The Pango description of this font; owned by the font.
    const PangoFontDescription* pangoDescription() const { return m_description; }

    bool isEqual(const NSObject* other) const override;
    using NSObject::isEqual;
    std::string description() const override;

private:
    std::string m_name;
    std::string m_family;
    bool m_bold;
    bool m_italic;
    CGFloat m_size;
    PangoFontDescription* m_description;
};
