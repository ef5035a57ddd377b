// Operations the toolkit adds to NSImage: high-quality drawing, tiling,
// centred and flipped drawing, the faded, resized, tinted, shadowed and
// gray copies, picking and tidying representations, conversions to and
// from Core Graphics images, and a 24-bit BMP stream. Each derived image
// is drawn with a TKImageMaker (one point one pixel) and keeps the
// receiver's template flag unless said otherwise.
//
// Drawing that changes the graphics state restores it in every case;
// where said, an NSException raised while drawing is logged and ends the
// drawing.
#pragma once

#include <graphics/GraphicsTypes.h>
#include <graphics/NSBitmapImageRep.h>
#include <graphics/NSImage.h>
#include <graphics/NSShadow.h>

#include <optional>
#include <typeinfo>
#include <vector>

class NSView;

class NSImageTKExtensions {
public:
    // MARK: High-quality drawing

    // The image's drawing calls with the context's interpolation raised to
    // high for the one draw.
    static void drawInRectHQ(const Ref<NSImage>& image, CGRect rect, CGRect fromRect, NSCompositingOperation operation,
        float fraction);
    static void compositeToPointHQ(const Ref<NSImage>& image, CGPoint point, NSCompositingOperation operation,
        float fraction);
    // A copy with every pixel's alpha (and premultiplied colour) scaled by
    // alpha. Null for a null image.
    static Ref<NSImage> imageWithAlpha(const Ref<NSImage>& image, float alpha);
    // An aspect-fit copy centred in a transparent image of exactly size; the
    // image itself when it already has that size.
    static Ref<NSImage> imageWithSize(const Ref<NSImage>& image, CGSize size);
    static Ref<NSImage> imageWithSize(const Ref<NSImage>& image, CGSize size, bool scaleLarger);

    // MARK: Tiled, centred and flipped drawing

    // Tiles the image, at its natural size, over the view's visible part
    // (cut to clipRect unless that is empty), on a grid centred in the
    // view's bounds, with the window's flushing held until the end. A
    // fraction of 0 or less draws nothing.
    static void tileInView(const Ref<NSImage>& image, NSView* view, float fraction = 1, CGRect clipRect = CGRectZero);
    // The bounds grown to whole tiles of the image's grid centred in them.
    // The bounds themselves for an image without area.
    static CGRect tileRectForBounds(const Ref<NSImage>& image, CGRect bounds);
    // Tiles the image over the rect from its corner, clipped to it; in a
    // flipped space the tiles stand upright. NSExceptions are logged.
    static void tileInRect(const Ref<NSImage>& image, CGRect rect, bool isFlipped, NSCompositingOperation operation,
        float fraction);
    // Natural size, centred in the rect.
    static void compositeInRect(const Ref<NSImage>& image, CGRect rect, NSCompositingOperation operation, bool flipped,
        float fraction);
    // Shrunk to fit (never grown), on whole points, centred, high quality.
    static void drawCenteredInRectHQ(const Ref<NSImage>& image, CGRect rect, NSCompositingOperation operation,
        float fraction);
    // The part fromRect (the zero size for the whole image) drawn upside
    // down into the destination. Nothing for a part without area.
    static void drawFlippedInRect(const Ref<NSImage>& image, CGRect rect, CGRect fromRect,
        NSCompositingOperation operation, float fraction = 1);
    static void drawFlippedInRect(const Ref<NSImage>& image, CGRect rect, NSCompositingOperation operation,
        float fraction = 1);
    // A vertically flipped copy; the image itself when it has no area.
    // NSExceptions are logged.
    static Ref<NSImage> flip(const Ref<NSImage>& image);
    // Draws the image unscaled through one image cell shared by the process
    // (main thread only), on a normal background when the view's window
    // dims its controls.
    static void drawInRect(const Ref<NSImage>& image, CGRect rect, NSView* view, bool highlighted, long backgroundStyle);

    // MARK: Resized, icon and representation variants

    // The image shrunk to fit (never grown) and centred in a square.
    static Ref<NSImage> imageWithMaxSize(const Ref<NSImage>& image, int maxSize);
    // The image with a transparent strip one point high along its top; the
    // argument plays no part.
    static Ref<NSImage> imageWithTopMargin(const Ref<NSImage>& image, int margin);
    // A size x size copy: an exactly fitting square representation is
    // copied; otherwise the nearest wider one (the first one failing that)
    // is drawn, squares filling it and others fitted.
    static Ref<NSImage> sizeIcon(const Ref<NSImage>& image, int size);
    // A size x size bitmap: a copy of the first plain bitmap representation
    // that wide, else of any representation that wide drawn, else the
    // nearest wider one drawn over the whole square. Heights play no part.
    static Ref<NSBitmapImageRep> bitmapImageRepForSize(const Ref<NSImage>& image, int size);
    // Gives the first bitmap representation, and the image, the size of its
    // pixels. Returns the image.
    static Ref<NSImage> normalizeSize(const Ref<NSImage>& image);
    static bool hasCachedImageRep(const Ref<NSImage>& image);
    // Moves the largest cached representation out of the image into a new
    // image of its size; without one, a copy drawn into a new image.
    static Ref<NSImage> imageWithOnlyCachedImageRep(const Ref<NSImage>& image);
    // The first representation of the class or a subclass, or null.
    template <class T>
    static Ref<T> imageRepOfClass(const Ref<NSImage>& image)
    {
        if (image)
            for (const auto& rep : image->representations())
                if (auto typed = dynamicRef<T>(rep))
                    return typed;
        return nullptr;
    }

    // MARK: Tinted, shadowed and monochrome images

    // The colour in the image's shape (its alpha).
    static Ref<NSImage> coloredImage(const Ref<NSImage>& image, const Ref<NSColor>& color);
    // The image drawn with the shadow, cut off at the image's edges.
    static Ref<NSImage> copyImageWithShadow(const Ref<NSImage>& image, const Ref<NSShadow>& shadow);
    // The image over a rectangle filled with the colour.
    static Ref<NSImage> imageWithBackground(const Ref<NSImage>& image, const Ref<NSColor>& color);
    // A new image holding an 8-bit gray and alpha bitmap (calibrated white,
    // unpremultiplied, first row at the top): gray is the luma
    // 0.299 R + 0.587 G + 0.114 B of the unpremultiplied colour, to the
    // nearest step (ties to even), alpha truncated. The receiver is read,
    // never changed.
    static Ref<NSImage> monochromeImage(const Ref<NSImage>& image);
    // The image with a control image 4 points to its right, the control
    // image centred vertically and lowered by one point.
    static Ref<NSImage> imageWithControlImage(const Ref<NSImage>& image, const Ref<NSImage>& controlImage);

    // MARK: Conversions

    // The image's pixels as a Core Graphics image the caller holds, through
    // its encoded representation; null without pixels.
    static CGImageRef nsImageToCGImageRef(const Ref<NSImage>& image);
    static CGImageRef CGImageFromNSImage(const Ref<NSImage>& image);
    // The first image in encoded data; null for data that holds none.
    static CGImageRef CGImageFromData(const std::vector<uint8_t>& data);
    // A new image of the CGImage's pixel size: through the image's own
    // focus (the context's interpolation), or, in the maker form, drawn
    // with high interpolation. Null for a null image.
    static Ref<NSImage> imageFromCGImageRefWithFocus(const CGImageRef& image);
    static Ref<NSImage> imageFromCGImageRef(const CGImageRef& image);
    // Gray (device gray) with the receiver's alpha; null without pixels.
    static Ref<NSImage> grayscaleImage(const Ref<NSImage>& image);
    // An uncompressed 24-bit BMP: 54 bytes of headers, then rows bottom
    // first, blue, green, red, each row padded to a multiple of 4 bytes.
    // Transparent parts come out black. Empty for an image without area.
    static std::vector<uint8_t> bmpData(const Ref<NSImage>& image);
};
