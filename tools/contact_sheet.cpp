// Draws one PNG with every image variant, shape, arrow, chevron, shadow
// preset, colour set and standard image the toolkit makes, each labelled,
// so that a person can look them over.
//
//   contact_sheet [sheet.png]
#include <toolkit/NSBezierPathTKExtensions.h>
#include <toolkit/NSImageStandardImages.h>
#include <toolkit/NSImageTKExtensions.h>
#include <toolkit/NSShadowTKExtensions.h>
#include <toolkit/TKColorSet.h>
#include <toolkit/TKImageMaker.h>
#include <toolkit/TKStandardColors.h>

#include <graphics/CGGradient.h>
#include <graphics/NSBezierPath.h>
#include <graphics/NSGraphicsContext.h>
#include <graphics/NSStringDrawing.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using TK = NSBezierPathTKExtensions;
using IM = NSImageTKExtensions;

constexpr double kWidth = 1024;
constexpr double kCell = 110;      // one sample's column
constexpr double kRowHeight = 120;  // a row of samples with its label
constexpr double kMargin = 16;
constexpr double kTitleHeight = 22;

// A sample picture: a round badge with a gradient, a white bar and a
// transparent corner, so that every variant has something to show.
Ref<NSImage> samplePicture()
{
    auto maker = TKImageMaker::maker(CGSizeMake(64, 64));
    maker->lockFocus();
    auto cg = NSGraphicsContext::currentContext()->CGContext();
    CGContextSaveGState(cg);
    NSBezierPath::bezierPathWithOvalInRect(CGRectMake(2, 2, 60, 60))->addClip();
    CGFloat components[] = { 0.95, 0.45, 0.15, 1.0, 0.20, 0.45, 0.90, 1.0 };
    CGFloat locations[] = { 0, 1 };
    auto gradient = CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), components, locations, 2);
    CGContextDrawLinearGradient(cg, gradient, CGPointMake(0, 64), CGPointMake(0, 0), 0);
    CGContextRestoreGState(cg);
    NSColor::whiteColor()->set();
    NSBezierPath::fillRect(CGRectMake(28, 12, 8, 40));
    NSBezierPath::fillRect(CGRectMake(16, 40, 32, 8));
    return maker->unlockFocus();
}

class Sheet {
public:
    explicit Sheet(double height)
        : m_height(height)
        , m_maker(TKImageMaker::maker(CGSizeMake(kWidth, height)))
    {
        m_maker->lockFocus();
        NSColor::colorWithCalibratedWhite(0.93, 1)->set();
        NSBezierPath::fillRect(CGRectMake(0, 0, kWidth, height));
    }

    // Starts a row of samples under a title.
    void row(const std::string& title)
    {
        m_top += m_top == 0 ? kMargin : kRowHeight;
        m_column = 0;
        text(title, CGPointMake(kMargin, m_height - m_top - 16), 14, NSColor::blackColor());
    }

    // One sample: drawn into the cell's box (y-up, origin at the box's
    // bottom-left corner, 90 x 80 points) on a checkerboard, labelled below.
    void sample(const std::string& label, const std::function<void(CGRect box)>& draw, bool dark = false)
    {
        double x = kMargin + m_column * kCell;
        double y = m_height - m_top - kTitleHeight - 80;
        CGRect box = CGRectMake(x, y, 90, 80);
        checkerboard(box);
        if (dark) {
            // The upper half dark, so that light and translucent white
            // colours and shadows show as well as dark ones.
            NSColor::colorWithCalibratedWhite(0.3, 1)->set();
            NSBezierPath::fillRect(CGRectMake(x, y + 40, 90, 40));
        }
        {
            NSGraphicsStateSaver saver;
            NSBezierPath::clipRect(box);
            draw(box);
        }
        NSStringAttributes attributes;
        attributes.font = NSFont::systemFontOfSize(10);
        attributes.foregroundColor = NSColor::darkGrayColor();
        drawInRect(label, CGRectMake(x, y - 16, kCell - 6, 14), attributes);
        ++m_column;
    }

    // An image centred in the box at its own size.
    void image(const std::string& label, const Ref<NSImage>& picture, bool dark = false)
    {
        sample(
            label,
            [&](CGRect box) {
            if (!picture)
                return;
            CGSize s = picture->size();
            CGPoint at = CGPointMake(box.origin.x + (box.size.width - s.width) / 2,
                box.origin.y + (box.size.height - s.height) / 2);
            picture->drawInRect(CGRect { at, s }, CGRectZero, NSCompositingOperationSourceOver, 1);
            },
            dark);
    }

    bool write(const std::string& path)
    {
        m_maker->unlockFocus();
        auto rep = m_maker->bitmapImageRep();
        auto png = rep ? rep->representationUsingType(NSBitmapImageFileTypePNG) : std::nullopt;
        if (!png)
            return false;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(png->data()), static_cast<std::streamsize>(png->size()));
        return static_cast<bool>(out);
    }

private:
    static void text(const std::string& s, CGPoint at, double size, const Ref<NSColor>& color)
    {
        NSStringAttributes attributes;
        attributes.font = NSFont::systemFontOfSize(size);
        attributes.foregroundColor = color;
        drawAtPoint(s, at, attributes);
    }

    static void checkerboard(CGRect box)
    {
        NSColor::whiteColor()->set();
        NSBezierPath::fillRect(box);
        NSColor::colorWithCalibratedWhite(0.86, 1)->set();
        for (double y = 0; y < box.size.height; y += 8)
            for (double x = (int(y / 8) % 2) * 8; x < box.size.width; x += 16)
                NSBezierPath::fillRect(CGRectMake(box.origin.x + x, box.origin.y + y, 8, 8));
    }

    double m_height;
    Ref<TKImageMaker> m_maker;
    double m_top { 0 };
    int m_column { 0 };
};

// A shape filled in a colour with its outline stroked, in the box.
void shape(const Ref<NSBezierPath>& path)
{
    NSColor::colorWithCalibratedRed(0.25, 0.5, 0.85, 1)->set();
    path->fill();
    NSColor::colorWithCalibratedWhite(0.1, 1)->set();
    path->stroke();
}

CGRect inset(CGRect box, double dx, double dy) { return CGRectInset(box, dx, dy); }

} // namespace

int main(int argc, char** argv)
{
    std::string path = argc > 1 ? argv[1] : "contact-sheet.png";
    auto picture = samplePicture();
    auto red = NSColor::colorWithCalibratedRed(0.85, 0.2, 0.2, 1);
    auto gray = NSColor::colorWithCalibratedWhite(0.35, 1);
    auto white = NSColor::whiteColor();

    Sheet sheet(kMargin * 2 + 8 * kRowHeight + 40);

    sheet.row("Image variants");
    sheet.image("original", picture);
    sheet.image("flip", IM::flip(picture));
    sheet.image("coloredImage", IM::coloredImage(picture, red));
    sheet.image("withBackground", IM::imageWithBackground(picture, NSColor::colorWithCalibratedRed(1, 0.85, 0.2, 1)));
    sheet.image("monochrome", IM::monochromeImage(picture));
    sheet.image("grayscale", IM::grayscaleImage(picture));
    sheet.image("alpha 0.4", IM::imageWithAlpha(picture, 0.4f));
    sheet.image("via CGImage", IM::imageFromCGImageRef(IM::CGImageFromNSImage(picture)));

    sheet.row("Sizes and placement");
    sheet.image("maxSize 40", IM::imageWithMaxSize(picture, 40));
    sheet.image("sizeIcon 24", IM::sizeIcon(picture, 24));
    sheet.image("topMargin", IM::imageWithTopMargin(IM::imageWithMaxSize(picture, 32), 0));
    sheet.image("controlImage", IM::imageWithControlImage(IM::imageWithMaxSize(picture, 40),
        NSBezierPathTKExtensions::downTriangleImage(CGRectMake(0, 0, 10, 8), false)));
    sheet.sample("tileInRect", [&](CGRect box) {
        IM::tileInRect(IM::imageWithMaxSize(picture, 20), box, false, NSCompositingOperationSourceOver, 1);
    });
    sheet.sample("drawFlipped", [&](CGRect box) {
        IM::drawFlippedInRect(picture, inset(box, 13, 8), NSCompositingOperationSourceOver);
    });
    sheet.sample("centredHQ", [&](CGRect box) {
        IM::drawCenteredInRectHQ(picture, inset(box, 25, 20), NSCompositingOperationSourceOver, 1);
    });
    sheet.sample("compositeIn", [&](CGRect box) {
        IM::compositeInRect(IM::imageWithMaxSize(picture, 32), box, NSCompositingOperationSourceOver, false, 1);
    });

    sheet.row("Shadows: copyImageWithShadow with each preset (one point down, no blur)");
    std::vector<std::pair<std::string, Ref<NSShadow>>> shadows {
        { "black", NSShadowTKExtensions::defaultBlackShadow() },
        { "dark gray", NSShadowTKExtensions::defaultDarkGrayShadow() },
        { "gray", NSShadowTKExtensions::defaultGrayShadow() },
        { "light gray", NSShadowTKExtensions::defaultLightGrayShadow() },
        { "white", NSShadowTKExtensions::defaultWhiteShadow() },
        { "light white", NSShadowTKExtensions::defaultLightWhiteShadow() },
        { "disabled white", NSShadowTKExtensions::defaultDisabledWhiteShadow() },
        { "blur 4, offset (3,-3)", NSShadowTKExtensions::shadowWithColor(NSColor::blackColor(), CGSizeMake(3, -3), 4) },
    };
    auto glyph = [&] {
        auto maker = TKImageMaker::maker(CGSizeMake(56, 56));
        maker->lockFocus();
        NSColor::colorWithCalibratedRed(0.55, 0.75, 0.95, 1)->set();
        TK::roundRectPath(CGRectMake(8, 10, 40, 36), 8)->fill();
        return maker->unlockFocus();
    }();
    for (const auto& [name, shadow] : shadows)
        sheet.image(name, IM::copyImageWithShadow(glyph, shadow), true);

    sheet.row("Rounded rectangles and plates");
    sheet.sample("roundRect r 8", [](CGRect b) { shape(TK::roundRectPath(inset(b, 10, 15), 8)); });
    sheet.sample("top 14, bottom 2", [](CGRect b) { shape(TK::roundRectPath(inset(b, 10, 15), 14, 2)); });
    sheet.sample("four radii", [](CGRect b) { shape(TK::roundRectPath(inset(b, 10, 15), 20, 0, 4, 12)); });
    sheet.sample("bottomRoundRect", [](CGRect b) { shape(TK::bottomRoundRectPath(inset(b, 10, 15), 12)); });
    sheet.sample("left side only", [](CGRect b) {
        auto path = TK::newPath();
        TK::appendBezierPathWithRoundedRectangle(*path, inset(b, 10, 15), 20, true);
        shape(path);
    });
    sheet.sample("plate", [](CGRect b) { shape(TK::bezierPathWithPlateInRect(inset(b, 8, 25))); });
    sheet.sample("plate left / right", [](CGRect b) {
        shape(TK::bezierPathWithPlateInRect(CGRectMake(b.origin.x + 6, b.origin.y + 45, 78, 22), true, false));
        shape(TK::bezierPathWithPlateInRect(CGRectMake(b.origin.x + 6, b.origin.y + 12, 78, 22), false, true));
    });
    sheet.sample("top plate", [](CGRect b) { shape(TK::bezierPathWithTopPlateInRect(inset(b, 33, 6))); });

    sheet.row("Bars, chevrons, triangles and arrows");
    sheet.sample("endcapped, cap 12", [](CGRect b) { shape(TK::endcappedBezierPathForRect(inset(b, 20, 28), 12)); });
    sheet.sample("chevrons", [](CGRect b) {
        shape(TK::chevronPath(CGRectMake(b.origin.x + 14, b.origin.y + 20, 22, 40), false));
        shape(TK::chevronPath(CGRectMake(b.origin.x + 54, b.origin.y + 20, 22, 40), true));
    });
    sheet.sample("triangles 0-3", [](CGRect b) {
        for (int d = 0; d < 4; ++d)
            shape(TK::trianglePath(CGRectMake(b.origin.x + 4 + d * 22, b.origin.y + 30, 18, 18), d, false));
    });
    sheet.sample("fillTriangle flipped", [](CGRect b) {
        NSColor::colorWithCalibratedRed(0.2, 0.6, 0.3, 1)->set();
        TK::fillTriangle(inset(b, 25, 22), TKTriangleUp, true);
    });
    sheet.image("downArrowImage", TK::downArrowImage(CGRectMake(0, 0, 36, 36)));
    sheet.image("upArrowImage", TK::upArrowImage(CGRectMake(0, 0, 36, 36)));
    sheet.image("left/right triangle", [&] {
        auto maker = TKImageMaker::maker(CGSizeMake(60, 24));
        maker->lockFocus();
        TK::leftTriangleImage(CGRectMake(0, 0, 24, 24))->drawInRect(CGRectMake(0, 0, 24, 24));
        TK::rightTriangleImage(CGRectMake(0, 0, 24, 24))->drawInRect(CGRectMake(36, 0, 24, 24));
        return maker->unlockFocus();
    }());
    sheet.image("convertToImage", TK::convertToImage(TK::ovalPath(CGRectMake(100.5, 200.5, 44, 30)), red, gray, false));

    sheet.row("Drawing operations");
    sheet.sample("fillRoundRect", [&](CGRect b) {
        gray->set();
        TK::fillRoundRect(inset(b, 12, 14), 10, red, 4);
    });
    sheet.sample("frameRoundRect", [&](CGRect b) {
        red->set();
        TK::frameRoundRect(inset(b, 12, 14), 10);
    });
    sheet.sample("fillOval", [&](CGRect b) {
        gray->set();
        TK::fillOval(inset(b, 20, 12), red);
    });
    sheet.sample("strokeOval", [&](CGRect b) {
        red->set();
        TK::strokeOval(inset(b, 20, 12));
    });
    sheet.sample("erasePath", [&](CGRect b) {
        gray->set();
        NSBezierPath::fillRect(b);
        TK::erasePath(TK::ovalPath(inset(b, 25, 20)));
    });
    sheet.sample("drawGridEffect", [&](CGRect b) {
        NSColor::colorWithCalibratedRed(0.15, 0.2, 0.35, 1)->set();
        NSBezierPath::fillRect(b);
        TK::drawGridEffect(b, false);
    });

    sheet.row("Standard images (28 x 28) and their interiors");
    CGRect button = CGRectMake(0, 0, 28, 28);
    sheet.image("stopImage", NSImageStandardImages::stopImage(button, red, white));
    sheet.image("plusImage", NSImageStandardImages::plusImage(button, gray, white));
    sheet.image("minusImage", NSImageStandardImages::minusImage(button, gray, white));
    sheet.image("stop at (5,5)", NSImageStandardImages::stopImage(CGRectMake(5, 5, 28, 28), red, white));
    sheet.image("stopInterior", NSImageStandardImages::stopInteriorImage(button, red));
    sheet.image("plusInterior", NSImageStandardImages::plusInteriorImage(button, red));
    sheet.image("minusInterior", NSImageStandardImages::minusInteriorImage(button, red));

    sheet.row("Colour sets: the standard set, then TKStandardColors (normal | dimmed)");
    auto set = TKColorSet::standardSet();
    std::vector<std::pair<std::string, Ref<NSColor>>> swatches;
    for (const auto& [key, color] : set->colors())
        swatches.emplace_back(key, color);
    auto pair = [](const std::string& name, Ref<NSColor> a, Ref<NSColor> b) {
        return std::make_pair(name, std::make_pair(std::move(a), std::move(b)));
    };
    std::vector<std::pair<std::string, std::pair<Ref<NSColor>, Ref<NSColor>>>> standard {
        pair("frame", TKStandardColors::frameColor(false), TKStandardColors::frameColor(true)),
        pair("lightFrame", TKStandardColors::lightFrameColor(false), TKStandardColors::lightFrameColor(true)),
        pair("frameAccentLine", TKStandardColors::frameAccentLineColor(false), TKStandardColors::frameAccentLineColor(true)),
        pair("verticalAccent", TKStandardColors::verticalFrameAccentLineColor(false),
            TKStandardColors::verticalFrameAccentLineColor(true)),
        pair("tabBarBackground", TKStandardColors::tabBarBackgroundColor(false), TKStandardColors::tabBarBackgroundColor(true)),
        pair("sourceList", TKStandardColors::sourceListBackgroundColor(false), TKStandardColors::sourceListBackgroundColor(true)),
        pair("shadow | window", TKStandardColors::shadowColor(), TKStandardColors::windowBackground()),
        pair("blue bg | row", TKStandardColors::blueBackgroundColor(), TKStandardColors::blueBackgroundRowColor()),
    };
    sheet.sample("standardSet", [&](CGRect b) {
        // The keyed colours in key order, three to a row.
        for (size_t i = 0; i < swatches.size(); ++i) {
            CGRect swatch = CGRectMake(b.origin.x + double(i % 3) * 30 + 1, b.origin.y + 64 - double(i / 3) * 16, 28, 14);
            swatches[i].second->set();
            NSBezierPath::fillRect(swatch);
        }
    }, true);
    for (const auto& [name, colors] : standard) {
        sheet.sample(name, [&](CGRect b) {
            colors.first->set();
            NSBezierPath::fillRect(CGRectMake(b.origin.x, b.origin.y, 45, 80));
            colors.second->set();
            NSBezierPath::fillRect(CGRectMake(b.origin.x + 45, b.origin.y, 45, 80));
        }, true);
    }

    if (!sheet.write(path)) {
        std::fprintf(stderr, "contact_sheet: could not write %s\n", path.c_str());
        return 1;
    }
    std::printf("%s\n", path.c_str());
    return 0;
}
