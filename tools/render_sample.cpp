// Renders a sample window of the interface platform to PNG: a translucent
// rounded backdrop with a label, a button and an image, the way the
// switcher panel is built. With a second path it also saves the simulated
// desktop with the window composited on top.
//
//   render_sample [window.png] [desktop.png]
#include "ToolDesktop.h"

#include <appkit/NSApplication.h>
#include <appkit/NSButton.h>
#include <appkit/NSImageView.h>
#include <appkit/NSPanel.h>
#include <appkit/NSTextField.h>
#include <appkit/NSVisualEffectView.h>
#include <foundation/RunLoop.h>
#include <graphics/CGGradient.h>
#include <graphics/ImageIO.h>
#include <graphics/NSBezierPath.h>
#include <graphics/NSGraphicsContext.h>

#include <cstdio>
#include <fstream>

namespace {

// A round badge with a vertical gradient, drawn offscreen.
Ref<NSImage> makeSampleImage()
{
    auto image = NSImage::create(CGSizeMake(96, 96));
    image->lockFocus();
    auto context = NSGraphicsContext::currentContext()->CGContext();
    auto circle = NSBezierPath::bezierPathWithOvalInRect(CGRectMake(4, 4, 88, 88));
    circle->addClip();
    CGFloat components[] = { 0.18, 0.50, 0.93, 1.0, 0.73, 0.42, 0.85, 1.0 };
    CGFloat locations[] = { 0, 1 };
    auto gradient = CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), components, locations, 2);
    CGContextDrawLinearGradient(context, gradient, CGPointMake(0, 96), CGPointMake(0, 0), 0);
    NSColor::whiteColor()->setFill();
    NSBezierPath::fillRect(CGRectMake(38, 20, 20, 56));
    image->unlockFocus();
    return image;
}

bool writeImage(const DesktopImage& image, const std::string& path)
{
    auto provider = CGDataProviderCreateWithData(image.rgba.data(), image.rgba.size());
    auto cg = CGImageCreate(image.width, image.height, 8, 32, image.width * 4, CGColorSpaceCreateDeviceRGB(),
        kCGImageAlphaPremultipliedLast, provider);
    auto png = CGImageCreatePNGData(cg);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    return !png.empty() && static_cast<bool>(out);
}

}

int main(int argc, char** argv)
{
    std::string windowPath = argc > 1 ? argv[1] : "sample-window.png";
    std::string desktopPath = argc > 2 ? argv[2] : "";

    auto desktop = installToolDesktop("render_sample", 1024, 640).desktop;
    if (!desktop)
        return 1;

    auto panel = makeRef<NSPanel>(CGRectMake(0, 0, 420, 180), NSWindowStyleMaskTitled);
    panel->setStyleMask(NSWindowStyleMaskBorderless);
    panel->setBackgroundColor(NSColor::clearColor());
    panel->setOpaque(false);
    panel->setIdentifier("SampleWindowIdentifier");
    panel->setLevel(NSFloatingWindowLevel);

    auto backdrop = makeRef<NSVisualEffectView>();
    backdrop->setMaterial(NSVisualEffectMaterialDark);
    backdrop->setState(NSVisualEffectStateActive);
    backdrop->setWantsLayer(true);
    backdrop->layer()->setCornerRadius(16);
    backdrop->layer()->setMasksToBounds(true);
    backdrop->setTranslatesAutoresizingMaskIntoConstraints(false);
    auto content = panel->contentView();
    content->addSubview(backdrop);
    NSLayoutConstraint::activateConstraints({
        backdrop->leadingAnchor().constraintEqualToAnchor(content->leadingAnchor()),
        backdrop->trailingAnchor().constraintEqualToAnchor(content->trailingAnchor()),
        backdrop->topAnchor().constraintEqualToAnchor(content->topAnchor()),
        backdrop->bottomAnchor().constraintEqualToAnchor(content->bottomAnchor()),
    });

    auto imageView = NSImageView::imageViewWithImage(makeSampleImage());
    imageView->setFrame(CGRectMake(24, 42, 96, 96));
    content->addSubview(imageView);

    auto title = NSTextField::labelWithString("Quorvex — window switcher");
    title->setFont(NSFont::boldSystemFontOfSize(17));
    title->setTextColor(NSColor::whiteColor());
    title->sizeToFit();
    title->setFrameOrigin(CGPointMake(140, 110));
    content->addSubview(title);

    auto subtitle = NSTextField::labelWithString("A long subtitle that is cut in the middle to fit the panel");
    subtitle->setTextColor(NSColor::colorWithDeviceWhite(0.85, 1));
    subtitle->setLineBreakMode(NSLineBreakByTruncatingMiddle);
    subtitle->setFrame(CGRectMake(140, 84, 260, 20));
    content->addSubview(subtitle);

    auto button = NSButton::buttonWithTitle("Activate", nullptr, "");
    button->setFrame(CGRectMake(140, 36, 110, 30));
    content->addSubview(button);

    panel->center();
    panel->orderFront(nullptr);
    RunLoop::main().runUntilIdle();

    if (!panel->writeRenderedPNG(windowPath)) {
        std::fprintf(stderr, "render_sample: could not write %s\n", windowPath.c_str());
        return 1;
    }
    std::printf("window: %s\n", windowPath.c_str());
    if (!desktopPath.empty()) {
        if (!writeImage(desktop->screenshot(), desktopPath)) {
            std::fprintf(stderr, "render_sample: could not write %s\n", desktopPath.c_str());
            return 1;
        }
        std::printf("desktop: %s\n", desktopPath.c_str());
    }
    return 0;
}
