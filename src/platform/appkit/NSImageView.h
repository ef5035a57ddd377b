// Image views: draw an image scaled by the scaling mode and placed by the
// alignment (centred unless set). The "value" binding sets the image.
#pragma once

#include "NSControl.h"

enum NSImageScaling : unsigned long {
    NSImageScaleProportionallyDown = 0,
    NSImageScaleAxesIndependently = 1,
    NSImageScaleNone = 2,
    NSImageScaleProportionallyUpOrDown = 3,
};

enum NSImageAlignment : unsigned long {
    NSImageAlignCenter = 0,
    NSImageAlignTop = 1,
    NSImageAlignTopLeft = 2,
    NSImageAlignTopRight = 3,
    NSImageAlignLeft = 4,
    NSImageAlignBottom = 5,
    NSImageAlignBottomLeft = 6,
    NSImageAlignBottomRight = 7,
    NSImageAlignRight = 8,
};

// Where an image of the size lands in bounds under the scaling, centred.
// The zero rect for an image without area.
CGRect NSImageScaledRect(CGSize imageSize, CGRect bounds, NSImageScaling scaling);

class NSImageView : public NSControl {
public:
    explicit NSImageView(CGRect frame = CGRectZero);
    static Ref<NSImageView> imageViewWithImage(const Ref<NSImage>& image);

    Ref<NSImage> image() const { return objectValue().objectAs<NSImage>(); }
    void setImage(const Ref<NSImage>& image) { setObjectValue(Value(image)); }
    NSImageScaling imageScaling() const { return m_scaling; }
    void setImageScaling(NSImageScaling scaling);
    NSImageAlignment imageAlignment() const { return m_alignment; }
    void setImageAlignment(NSImageAlignment alignment);
    bool isEditable() const { return false; }

    // Where the image lands in the view's bounds.
    CGRect imageRect() const;
    void drawRect(CGRect dirtyRect) override;
    void sizeToFit() override;

private:
    NSImageScaling m_scaling { NSImageScaleProportionallyDown };
    NSImageAlignment m_alignment { NSImageAlignCenter };
};
