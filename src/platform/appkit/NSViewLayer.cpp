#include "NSView.h"

void NSView::setWantsLayer(bool flag)
{
    m_wantsLayer = flag;
    if (flag && !m_layer)
        m_layer = makeBackingLayer();
    setNeedsDisplay(true);
}

void NSView::setLayer(const Ref<CALayer>& layer)
{
    m_layer = layer;
    setNeedsDisplay(true);
}

Ref<CALayer> NSView::makeBackingLayer() { return nullptr; }

void NSView::drawLayerBackground(const CGContextRef&) { }

void NSView::drawLayerForeground(const CGContextRef&) { }
