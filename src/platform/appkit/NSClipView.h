// The view that shows part of a scroll view's document: its bounds origin
// is the scroll position, in the document's coordinates.
#pragma once

#include "NSView.h"

class NSClipView : public NSView {
public:
    explicit NSClipView(CGRect frame = CGRectZero);

    const Ref<NSView>& documentView() const { return m_documentView; }
    void setDocumentView(const Ref<NSView>& view);
    // Flipped like the document, so that scrolling matches its coordinates.
    bool isFlipped() const override;
    // Scrolls so that the point of the document is at the top-left
    // (flipped document) or bottom-left corner, kept inside the document.
    void scrollToPoint(CGPoint point);
    // The bounds origin nearest to the proposed one that keeps the visible
    // rectangle inside the document.
    CGRect constrainBoundsRect(CGRect proposed) const;
    // The part of the document that shows, in its coordinates.
    CGRect documentVisibleRect() const;
    CGRect documentRect() const;
    void setFrame(CGRect frame) override;
    // The document was moved or resized: a scroll position that no longer
    // lies inside it (a document that became shorter) is brought back in.
    void documentFrameChanged();

private:
    // Tells the document view which part of it shows now.
    void prepareDocument();
    Ref<NSView> m_documentView;
};
