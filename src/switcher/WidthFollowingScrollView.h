// A scroll view whose document view is always as wide as it is, so that the
// grid's columns and the list's rows follow the panel's width; only the
// document's height scrolls.
#pragma once

#include <appkit/NSScrollView.h>

class WidthFollowingScrollView : public NSScrollView {
public:
    using NSScrollView::NSScrollView;
    void setFrame(CGRect frame) override
    {
        NSScrollView::setFrame(frame);
        if (auto document = documentView())
            document->setFrameSize(CGSizeMake(frame.size.width, document->frame().size.height));
    }
};
