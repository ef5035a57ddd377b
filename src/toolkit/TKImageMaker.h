// An offscreen drawing target: lockFocus makes a fresh, cleared RGBA bitmap
// of the maker's size (one point is one pixel) the current graphics context
// and unlockFocus hands what was drawn back as a new image. Drawing passes
// of several makers nest on one thread; a maker belongs to the thread that
// locks it.
#pragma once

#include <graphics/GraphicsTypes.h>
#include <graphics/NSBitmapImageRep.h>
#include <graphics/NSColor.h>
#include <graphics/NSGraphicsContext.h>
#include <graphics/NSImage.h>

#include <mutex>

class TKImageMaker : public NSObject {
public:
    static Ref<TKImageMaker> maker(CGSize size);
    explicit TKImageMaker(CGSize size);
    ~TKImageMaker() override;

    void lockFocus();
    // The drawn image with the maker's (untruncated) size and the template
    // flag, or null when the maker is not locked. A maker smaller than one
    // pixel gives an image of its size without representations.
    Ref<NSImage> unlockFocus(bool isTemplate);
    Ref<NSImage> unlockFocus();
    // A copy of the current bitmap, or null.
    Ref<NSBitmapImageRep> imageRep() const;

    // Each property is read and written indivisibly.
    CGSize size() const;
    void setSize(CGSize);
    NSImageInterpolation savedImageInterpolation() const;
    void setSavedImageInterpolation(NSImageInterpolation);
    Ref<NSBitmapImageRep> bitmapImageRep() const;
    void setBitmapImageRep(const Ref<NSBitmapImageRep>&);
    Ref<NSGraphicsContext> bitmapContext() const;
    void setBitmapContext(const Ref<NSGraphicsContext>&);
    bool isLocked() const;
    void setLocked(bool);

private:
    mutable std::mutex m_mutex;
    CGSize m_size;
    NSImageInterpolation m_savedImageInterpolation { NSImageInterpolationDefault };
    Ref<NSBitmapImageRep> m_bitmapImageRep;
    Ref<NSGraphicsContext> m_bitmapContext;
    bool m_locked { false };
    // Whether this pass saved the graphics state, so that unlocking restores
    // only what was saved.
    bool m_savedState { false };
};
