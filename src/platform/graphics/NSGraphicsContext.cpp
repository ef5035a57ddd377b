#include "NSGraphicsContext.h"

#include "NSBitmapImageRep.h"
#include "internal/PixelStore.h"

#include <foundation/Log.h>

namespace {

struct ThreadGraphicsState {
    Ref<NSGraphicsContext> current;
    std::vector<Ref<NSGraphicsContext>> saved;
};

ThreadGraphicsState& threadState()
{
    thread_local ThreadGraphicsState state;
    return state;
}

} // namespace

Ref<NSGraphicsContext> NSGraphicsContext::currentContext() { return threadState().current; }

void NSGraphicsContext::setCurrentContext(const Ref<NSGraphicsContext>& context) { threadState().current = context; }

void NSGraphicsContext::saveGraphicsState()
{
    auto& state = threadState();
    state.saved.push_back(state.current);
    if (state.current)
        state.current->saveContextGraphicsState();
}

void NSGraphicsContext::restoreGraphicsState()
{
    auto& state = threadState();
    if (state.saved.empty()) {
        NSLog("restoreGraphicsState without a saved graphics state");
        return;
    }
    state.current = state.saved.back();
    state.saved.pop_back();
    if (state.current)
        state.current->restoreContextGraphicsState();
}

Ref<NSGraphicsContext> NSGraphicsContext::graphicsContextWithBitmapImageRep(const Ref<NSBitmapImageRep>& rep)
{
    if (!rep)
        return nullptr;
    auto store = rep->pixelStore();
    if (!store || !store->canDraw() || !store->surface())
        return nullptr;
    auto model = store->format().model;
    CGColorSpaceRef space = model == gfx::PixelFormat::Model::RGB ? CGColorSpaceCreateDeviceRGB()
        : model == gfx::PixelFormat::Model::Gray                  ? CGColorSpaceCreateDeviceGray()
                                                                  : nullptr;
    auto context = makeRef<::CGContext>(store, space);
    return makeRef<NSGraphicsContext>(context, false, rep);
}

Ref<NSGraphicsContext> NSGraphicsContext::graphicsContextWithCGContext(const CGContextRef& context, bool flipped)
{
    return context ? makeRef<NSGraphicsContext>(context, flipped, nullptr) : nullptr;
}

NSGraphicsContext::NSGraphicsContext(CGContextRef context, bool flipped, Ref<NSBitmapImageRep> rep)
    : m_context(std::move(context))
    , m_flipped(flipped)
    , m_rep(std::move(rep))
{
}

NSImageInterpolation NSGraphicsContext::imageInterpolation() const
{
    return static_cast<NSImageInterpolation>(CGContextGetInterpolationQuality(m_context));
}

void NSGraphicsContext::setImageInterpolation(NSImageInterpolation interpolation)
{
    CGContextSetInterpolationQuality(m_context, static_cast<CGInterpolationQuality>(interpolation));
}

NSCompositingOperation NSGraphicsContext::compositingOperation() const
{
    return NSCompositingOperationForBlendMode(m_context->gstate().blendMode);
}

void NSGraphicsContext::setCompositingOperation(NSCompositingOperation op)
{
    CGContextSetBlendMode(m_context, CGBlendModeForCompositingOperation(op));
}

void NSGraphicsContext::saveContextGraphicsState() { CGContextSaveGState(m_context); }

void NSGraphicsContext::restoreContextGraphicsState() { CGContextRestoreGState(m_context); }

void NSGraphicsContext::flushGraphics() { CGContextFlush(m_context); }

void NSSetFocusRingStyle(NSFocusRingPlacement placement)
{
    if (auto context = NSGraphicsContext::currentContext())
        context->CGContext()->gstate().focusRingPlacement = int(placement);
}

CGColorRef NSFocusRingColor()
{
    static const CGColorRef color = CGColorCreateGenericRGB(0.23, 0.51, 0.96, 0.6);
    return color;
}
