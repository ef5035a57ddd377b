// Scroll views: a clip view over a document view, moved by the scroll wheel
// and by scrollPoint. Scrollers take no room and are not drawn.
#pragma once

#include "NSClipView.h"

class NSScrollView : public NSView {
public:
    explicit NSScrollView(CGRect frame = CGRectZero);

    const Ref<NSClipView>& contentView() const { return m_clipView; }
    void setContentView(const Ref<NSClipView>& clipView);
    Ref<NSView> documentView() const { return m_clipView ? m_clipView->documentView() : nullptr; }
    void setDocumentView(const Ref<NSView>& view);
    CGRect documentVisibleRect() const;
    CGSize contentSize() const { return bounds().size; }

    bool hasVerticalScroller() const { return m_hasVerticalScroller; }
    void setHasVerticalScroller(bool flag) { m_hasVerticalScroller = flag; }
    bool hasHorizontalScroller() const { return m_hasHorizontalScroller; }
    void setHasHorizontalScroller(bool flag) { m_hasHorizontalScroller = flag; }
    CGFloat verticalLineScroll() const { return m_lineScroll; }
    void setVerticalLineScroll(CGFloat value) { m_lineScroll = value; }
    CGFloat verticalPageScroll() const { return m_pageScroll; }
    void setVerticalPageScroll(CGFloat value) { m_pageScroll = value; }
    bool drawsBackground() const { return m_drawsBackground; }
    void setDrawsBackground(bool flag) { m_drawsBackground = flag; }

    // Scrolls by the event's deltas: precise ones in points, others in
    // lines. A positive vertical delta shows what lies above.
    void scrollWheel(const Ref<NSEvent>& event) override;
    // Scrolls the document point to the clip view's origin corner.
    void scrollDocumentPointToOrigin(CGPoint point);
    // Scrolls the least needed to show the rectangle (document
    // coordinates); false when nothing moved.
    bool scrollDocumentRectToVisible(CGRect rect);
    void setFrame(CGRect frame) override;

private:
    Ref<NSClipView> m_clipView;
    CGFloat m_lineScroll { 10 };
    CGFloat m_pageScroll { 10 };
    bool m_hasVerticalScroller { false };
    bool m_hasHorizontalScroller { false };
    bool m_drawsBackground { true };
};
