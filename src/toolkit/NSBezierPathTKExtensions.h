// The toolkit's shapes on NSBezierPath: constructors with preset line
// widths and flatness, rounded rectangles with per-corner radii, pill
// plates, end-capped bars, chevrons, triangles and a down arrow; small
// template images of them; erasing; a faint grid texture; mapping a path
// into a view's bounds; and the conversion to a Core Graphics path.
// Drawing goes to the current graphics context. Main thread only.
#pragma once

#include <graphics/NSBezierPath.h>
#include <graphics/NSColor.h>
#include <graphics/NSImage.h>

class NSView;

// Directions of trianglePath.
enum TKTriangleDirection : int { TKTriangleUp = 0, TKTriangleDown = 1, TKTriangleLeft = 2, TKTriangleRight = 3 };

class NSBezierPathTKExtensions {
public:
    // MARK: Constructors

    // Empty, line width 1.0, flatness 0.001: the base of the constructors
    // below unless they say otherwise.
    static Ref<NSBezierPath> newPath();
    // Line width 1.5, flatness 0.01.
    static Ref<NSBezierPath> ovalPath(CGRect rect);
    // Line width 1.0, flatness 0.01.
    static Ref<NSBezierPath> rectPath(CGRect rect);
    static Ref<NSBezierPath> roundRectPath(CGRect rect, float radius);
    static Ref<NSBezierPath> roundRectPath(CGRect rect, float topRadius, float bottomRadius);
    static Ref<NSBezierPath> roundRectPath(
        CGRect rect, float topLeftRadius, float topRightRadius, float bottomLeftRadius, float bottomRightRadius);
    static Ref<NSBezierPath> bottomRoundRectPath(CGRect rect, float radius);
    // A horizontal pill, round at both ends, at one, or (neither) a rect path.
    static Ref<NSBezierPath> bezierPathWithPlateInRect(CGRect rect);
    static Ref<NSBezierPath> bezierPathWithPlateInRect(CGRect rect, bool onLeft, bool onRight);
    // A vertical pill.
    static Ref<NSBezierPath> bezierPathWithTopPlateInRect(CGRect rect);
    // A bar whose left and right ends bulge out by up to 3/4 of capWidth.
    static Ref<NSBezierPath> endcappedBezierPathForRect(CGRect rect, int capWidth);
    // A chevron with bars 3 points thick, measured horizontally.
    static Ref<NSBezierPath> chevronPath(CGRect rect, bool pointingRight);
    // Up and down swap in a flipped space; another direction gives a path
    // holding only a close element.
    static Ref<NSBezierPath> trianglePath(CGRect rect, int direction, bool flipped);
    // An arrow pointing down, width and height the rect's width, from the
    // rect's origin.
    static Ref<NSBezierPath> downArrowPath(CGRect rect);

    // MARK: Appending

    // The radius cut to half the shorter side; the platform's rounded rect.
    static void appendBezierPathWithRoundedRectangle(NSBezierPath& path, CGRect rect, float radius);
    static void appendBezierPathWithRoundedRectangle(NSBezierPath& path, CGRect rect, float topRadius,
        float bottomRadius);
    // Each radius cut to half the shorter side.
    static void appendBezierPathWithRoundedRectangle(NSBezierPath& path, CGRect rect, float topLeftRadius,
        float topRightRadius, float bottomLeftRadius, float bottomRightRadius);
    // The radius (cut as above) on one side, half of it on the other.
    static void appendBezierPathWithRoundedRectangle(NSBezierPath& path, CGRect rect, float radius, bool leftSideOnly);
    // Round bottom corners with the radius as given, square top corners.
    static void appendBezierPathWithBottomRoundedCorners(NSBezierPath& path, CGRect rect, float radius);
    // Nothing for a rect without height.
    static void appendBezierPathWithPlateInRect(NSBezierPath& path, CGRect rect, bool onLeft, bool onRight);
    // Nothing for a rect without width.
    static void appendBezierPathWithTopPlateInRect(NSBezierPath& path, CGRect rect);

    // MARK: Drawing

    // Fills in the current colour; a frame colour draws the inner half of a
    // stroke of the frame width in a saved state (the current colour stays).
    static void fillRoundRect(CGRect rect, float radius, const Ref<NSColor>& frameColor = nullptr,
        float frameWidth = 1.0f);
    // The inner half of a 1-point stroke in the current colour.
    static void frameRoundRect(CGRect rect, float radius);
    // Fills in the current colour; a frame colour is set (and stays current)
    // and the oval stroked at 1.5 points.
    static void fillOval(CGRect rect, const Ref<NSColor>& frameColor = nullptr);
    static void strokeOval(CGRect rect);
    static void fillTriangle(CGRect rect, int direction, bool flipped);
    // Clears the rect to transparent.
    static void eraseRect(CGRect rect);
    // Tiles a faint white grid (bars every 4 points) over the rect.
    static void drawGridEffect(CGRect rect, bool isFlipped);

    // MARK: Path operations

    // The path has elements and the last one closes.
    static bool isClosed(const Ref<NSBezierPath>& path);
    // The path itself when closed, else a closed copy.
    static Ref<NSBezierPath> closedPath(const Ref<NSBezierPath>& path);
    // Clears the path's area to transparent.
    static void erasePath(const Ref<NSBezierPath>& path);
    // An image just large enough for the path (its bounds grown to whole
    // pixels), the path moved into it, filled and framed in the colours
    // given, inside the path's own outline.
    static Ref<NSImage> convertToImage(const Ref<NSBezierPath>& path, const Ref<NSColor>& fillColor,
        const Ref<NSColor>& frameColor, bool isTemplate);
    // Maps a path drawn from (0, 0) upwards into the bounds, turning it
    // over for a flipped view.
    static void transformPathForView(NSBezierPath& path, NSView* view, CGRect bounds);
    // The same elements as a Core Graphics path; null for an empty path.
    static CGPathRef CGPath(const Ref<NSBezierPath>& path);

    // MARK: Template images, drawn in the standard set's "TKCS_blackImage"

    static Ref<NSImage> downArrowImage(CGRect rect);
    static Ref<NSImage> upArrowImage(CGRect rect);
    static Ref<NSImage> downTriangleImage(CGRect rect, bool flipped);
    static Ref<NSImage> rightTriangleImage(CGRect rect);
    static Ref<NSImage> leftTriangleImage(CGRect rect);
    // The grid tile: white bars one point wide every 4 points (not a template).
    static Ref<NSImage> gridImage(CGRect rect);
};
