// Rectangle and point arithmetic of the toolkit, in the platform's y-up
// space. Rect lists are plain vectors of rects.
#pragma once

#include <foundation/CGGeometry.h>
#include <foundation/NSObject.h>

#include <cstdint>
#include <optional>
#include <vector>

class TKGeometry : public NSObject {
public:
    // The rect spanning two points: origin at the smaller coordinates, width
    // and height truncated to whole points.
    static CGRect rectFromPoint(CGPoint p, CGPoint andPoint);
    // r placed in the container, centred, and with scaling on: shrunk to fit
    // when larger than the container in either dimension, grown when
    // canScaleLarger and smaller in both. A rect without area is centred
    // unscaled.
    static CGRect rect(CGRect r, CGRect centeredIn, bool scaleToFitContainer);
    static CGRect rect(CGRect r, CGRect centeredIn, bool scaleToFitContainer, bool canScaleLarger);
    // The point clamped into the rect, each axis alone.
    static CGPoint point(CGPoint p, CGRect insideRect);
    // screenForPoint: over the screens' frames, in the screen list's order:
    // the index of the first frame containing the point, else of the frame
    // nearest by whole-point dx + dy (the earlier on a tie); none without
    // frames.
    static std::optional<size_t> screenForPoint(CGPoint p, const std::vector<CGRect>& screenFrames);
    // Each of x, y, width and height floored.
    static CGRect integerRect(CGRect r);

    static CGPoint topLeft(CGRect r);
    static CGPoint bottomLeft(CGRect r);
    static CGPoint topRight(CGRect r);
    static CGPoint bottomRight(CGRect r);
    static CGPoint topMid(CGRect r);
    static CGPoint bottomMid(CGRect r);
    static CGPoint rightMid(CGRect r);
    static CGPoint leftMid(CGRect r);
    // Corners as they lie in a flipped space; the flag is not consulted.
    static CGPoint topLeft(CGRect r, bool flipped);
    static CGPoint bottomLeft(CGRect r, bool flipped);
    static CGPoint topRight(CGRect r, bool flipped);
    static CGPoint bottomRight(CGRect r, bool flipped);

    // Turns free rects into the free rects that avoid rectToAvoid, dropping
    // every piece smaller than minSize.
    static void updateRectsToAvoidRectGivenMinimumSize(std::vector<CGRect>& rects, CGRect rectToAvoid,
        CGSize minSize);
};

// A double as a whole number within [low, high], truncated towards zero;
// NaN gives low. Converting a double beyond an integer type's range to that
// type is undefined, so every size or distance measured in floating point
// that becomes an integer goes through here.
int64_t TKClampedInteger(double value, int64_t low, int64_t high);
// The longest side of a bitmap the drawing library can make.
inline constexpr int64_t TKMaxBitmapSide = 32767;
// The pixels of a bitmap side of the given length: truncated, and 0 (no
// bitmap) for NaN, a negative length or one beyond TKMaxBitmapSide.
int32_t TKBitmapSide(double length);

// The rect of the list nearest to r by TKRectGapDistanceSquared (the later
// one on a tie); the zero rect for an empty list.
CGRect TKRectNearestInArray(const std::vector<CGRect>& rects, CGRect r);
// How far a reaches beyond b, squared, in single precision.
float TKRectGapDistanceSquared(CGRect a, CGRect b);
