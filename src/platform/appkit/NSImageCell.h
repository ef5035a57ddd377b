// Image cells: draw their image into a frame of a view, scaled by the
// scaling mode and centred, upright in flipped views too. A highlighted
// cell, or one on an emphasized background, draws the image unchanged;
// the state is kept for the cell's owner.
#pragma once

#include "NSCell.h"
#include "NSImageView.h"

class NSImageCell : public NSCell {
public:
    NSImageScaling imageScaling() const { return m_scaling; }
    void setImageScaling(NSImageScaling scaling) { m_scaling = scaling; }

    CGSize cellSize() const override;
    void drawWithFrame(CGRect frame, NSView* view) override;
    void drawInteriorWithFrame(CGRect frame, NSView* view) override;

private:
    NSImageScaling m_scaling { NSImageScaleProportionallyDown };
};
