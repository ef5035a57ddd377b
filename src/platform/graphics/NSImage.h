// Images of the application framework: a size in points and a list of
// representations that hold the pixels. Drawing picks the representation
// whose pixels best fit the destination and scales it from the image's
// points to the destination. One point is one pixel of a context.
#pragma once

#include "CGImage.h"
#include "GraphicsTypes.h"
#include "NSImageRep.h"

#include <foundation/NSObject.h>

#include <vector>

class NSGraphicsContext;
class NSCachedImageRep;

// Names of the system's own images (imageNamed): the status lights.
inline const std::string NSImageNameStatusAvailable = "NSStatusAvailable";
inline const std::string NSImageNameStatusPartiallyAvailable = "NSStatusPartiallyAvailable";
inline const std::string NSImageNameStatusUnavailable = "NSStatusUnavailable";
inline const std::string NSImageNameStatusNone = "NSStatusNone";
// Toolbar images of preference windows: a gear, and a colour wheel.
inline const std::string NSImageNamePreferencesGeneral = "NSPreferencesGeneral";
inline const std::string NSImageNameColorPanel = "NSColorPanel";

struct NSEdgeInsets {
    CGFloat top { 0 };
    CGFloat left { 0 };
    CGFloat bottom { 0 };
    CGFloat right { 0 };
};

class NSImage : public NSObject {
public:
    // initWithSize:. An image without representations draws nothing.
    static Ref<NSImage> create(CGSize size = CGSizeZero);
    // initWithCGImage:size:; a zero size takes the CGImage's pixel size.
    // Null for a null image.
    static Ref<NSImage> imageWithCGImage(const CGImageRef& image, CGSize size);
    // initWithData: / initWithContentsOfFile:, PNG; null when it does not decode.
    static Ref<NSImage> imageWithData(const std::vector<uint8_t>& data);
    static Ref<NSImage> imageWithContentsOfFile(const std::string& path);

    // imageNamed:: the image registered under the name (setName), else a
    // PNG of that name in the main bundle's resources, else one of the
    // system's named images; null when there is none. A name gives the same
    // object every time.
    static Ref<NSImage> imageNamed(const std::string& name);

    explicit NSImage(CGSize size);

    // The name the image is registered under, or empty.
    const std::string& name() const { return m_name; }
    // Registers the image under the name, dropping its earlier name; an
    // empty name only drops it. False when another image holds the name,
    // and for the names of the system's images.
    bool setName(const std::string& name);

    // The size set, or without one, the first representation's size.
    CGSize size() const;
    void setSize(CGSize);
    // The edges that keep their size when the image is stretched (nine-part
    // drawing, as a visual-effect view's mask image is drawn).
    NSEdgeInsets capInsets() const { return m_capInsets; }
    void setCapInsets(NSEdgeInsets insets) { m_capInsets = insets; }
    bool isTemplate() const { return m_template; }
    void setTemplate(bool flag) { m_template = flag; }
    const std::vector<Ref<NSImageRep>>& representations() const { return m_reps; }
    void addRepresentation(const Ref<NSImageRep>&);
    void removeRepresentation(const Ref<NSImageRep>&);
    bool isValid() const;
    // The representation drawing into rect (device pixels) would use.
    Ref<NSImageRep> bestRepresentationForRect(CGRect rect, const Ref<NSGraphicsContext>& context = nullptr,
        const void* hints = nullptr) const;

    // Makes an offscreen copy of the image the current graphics context
    // (origin bottom-left, the image's size in points) until unlockFocus,
    // which makes that copy the image's only representation. Focus nests
    // like NSGraphicsContext::saveGraphicsState.
    void lockFocus();
    void unlockFocus();

    // Draws the part src (image points; the zero rect for all) into dst in
    // the current context. Nothing happens without a context.
    void drawInRect(CGRect dst, CGRect src, NSCompositingOperation op, CGFloat fraction);
    void drawInRect(CGRect dst);
    void drawAtPoint(CGPoint point, CGRect src, NSCompositingOperation op, CGFloat fraction);
    // The deprecated compositing calls: natural size, placed at the point in
    // the current space but drawn upright and unscaled in device space.
    void compositeToPoint(CGPoint point, NSCompositingOperation op, CGFloat fraction = 1);
    void compositeToPoint(CGPoint point, CGRect src, NSCompositingOperation op, CGFloat fraction = 1);

    // The pixels of the best representation as a CGImage that the caller
    // shares; null without representations.
    CGImageRef CGImageForProposedRect(CGRect* proposedRect, const Ref<NSGraphicsContext>& context,
        const void* hints = nullptr);

    // The pixels of the best representation for the image's size, encoded
    // without loss. This platform's image I/O reads and writes PNG only, so
    // the encoding is PNG whatever the name says. Empty without pixels.
    std::vector<uint8_t> TIFFRepresentation();

    // A new image with copies of the representations.
    Ref<NSImage> copy() const;
    std::string description() const override;

private:
    CGSize m_size;
    std::string m_name;
    NSEdgeInsets m_capInsets;
    bool m_template { false };
    std::vector<Ref<NSImageRep>> m_reps;
    std::vector<Ref<NSCachedImageRep>> m_focusStack;
};
