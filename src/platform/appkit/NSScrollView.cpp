#include "NSScrollView.h"

#include "NSEvent.h"

#include <algorithm>

NSClipView::NSClipView(CGRect frame)
    : NSView(frame)
{
    setAutoresizesSubviews(false);
}

void NSClipView::setDocumentView(const Ref<NSView>& view)
{
    if (view == m_documentView)
        return;
    if (m_documentView)
        m_documentView->removeFromSuperview();
    m_documentView = view;
    if (view) {
        addSubview(view);
        setBoundsOrigin(constrainBoundsRect({ view->frame().origin, bounds().size }).origin);
        prepareDocument();
    }
}

void NSClipView::setFrame(CGRect frame)
{
    NSView::setFrame(frame);
    prepareDocument();
}

void NSClipView::prepareDocument()
{
    if (m_documentView)
        m_documentView->prepareContentInRect(documentVisibleRect());
}

void NSClipView::documentFrameChanged()
{
    CGPoint origin = constrainBoundsRect(bounds()).origin;
    if (origin != bounds().origin)
        scrollToPoint(origin);
}

bool NSClipView::isFlipped() const { return m_documentView && m_documentView->isFlipped(); }

CGRect NSClipView::documentRect() const
{
    if (!m_documentView)
        return bounds();
    CGRect doc = m_documentView->frame();
    // The document is at least as large as the clip view.
    doc.size.width = std::max(doc.size.width, bounds().size.width);
    doc.size.height = std::max(doc.size.height, bounds().size.height);
    return doc;
}

CGRect NSClipView::constrainBoundsRect(CGRect proposed) const
{
    CGRect doc = documentRect();
    proposed.origin.x = std::clamp(proposed.origin.x, doc.origin.x, CGRectGetMaxX(doc) - proposed.size.width);
    proposed.origin.y = std::clamp(proposed.origin.y, doc.origin.y, CGRectGetMaxY(doc) - proposed.size.height);
    return proposed;
}

void NSClipView::scrollToPoint(CGPoint point)
{
    setBoundsOrigin(constrainBoundsRect({ point, bounds().size }).origin);
    prepareDocument();
    if (auto scroll = dynamic_cast<NSScrollView*>(superview()))
        scroll->setNeedsDisplay(true);
}

CGRect NSClipView::documentVisibleRect() const
{
    if (!m_documentView)
        return CGRectZero;
    return m_documentView->convertRectFromView(bounds(), this);
}

NSScrollView::NSScrollView(CGRect frame)
    : NSView(frame)
{
    setContentView(makeRef<NSClipView>(CGRectMake(0, 0, frame.size.width, frame.size.height)));
}

void NSScrollView::setContentView(const Ref<NSClipView>& clipView)
{
    if (m_clipView)
        m_clipView->removeFromSuperview();
    m_clipView = clipView;
    if (clipView) {
        clipView->setFrame(CGRectMake(0, 0, frame().size.width, frame().size.height));
        addSubview(clipView);
    }
}

void NSScrollView::setFrame(CGRect frame)
{
    NSView::setFrame(frame);
    if (m_clipView) {
        m_clipView->setFrame(CGRectMake(0, 0, frame.size.width, frame.size.height));
        m_clipView->scrollToPoint(m_clipView->bounds().origin);
    }
}

void NSScrollView::setDocumentView(const Ref<NSView>& view)
{
    if (m_clipView)
        m_clipView->setDocumentView(view);
}

CGRect NSScrollView::documentVisibleRect() const { return m_clipView ? m_clipView->documentVisibleRect() : CGRectZero; }

void NSScrollView::scrollWheel(const Ref<NSEvent>& event)
{
    if (!m_clipView || !documentView()) {
        NSView::scrollWheel(event);
        return;
    }
    CGFloat dx = event->scrollingDeltaX();
    CGFloat dy = event->scrollingDeltaY();
    if (!event->hasPreciseScrollingDeltas()) {
        dx *= m_lineScroll;
        dy *= m_lineScroll;
    }
    CGPoint origin = m_clipView->bounds().origin;
    origin.x -= dx;
    // Showing what lies above means smaller y in a flipped document and
    // larger y in an unflipped one.
    origin.y += m_clipView->isFlipped() ? -dy : dy;
    m_clipView->scrollToPoint(origin);
}

void NSScrollView::scrollDocumentPointToOrigin(CGPoint point)
{
    if (m_clipView)
        m_clipView->scrollToPoint(point);
}

bool NSScrollView::scrollDocumentRectToVisible(CGRect rect)
{
    if (!m_clipView)
        return false;
    CGRect visible = m_clipView->bounds();
    CGPoint origin = visible.origin;
    if (rect.origin.x < visible.origin.x)
        origin.x = rect.origin.x;
    else if (CGRectGetMaxX(rect) > CGRectGetMaxX(visible))
        origin.x = std::min(rect.origin.x, CGRectGetMaxX(rect) - visible.size.width);
    if (rect.origin.y < visible.origin.y)
        origin.y = rect.origin.y;
    else if (CGRectGetMaxY(rect) > CGRectGetMaxY(visible))
        origin.y = std::min(rect.origin.y, CGRectGetMaxY(rect) - visible.size.height);
    if (origin == visible.origin)
        return false;
    m_clipView->scrollToPoint(origin);
    return m_clipView->bounds().origin != visible.origin;
}
