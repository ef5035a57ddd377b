// Icons of files and applications: an application's own images where the
// desktop has them, else drawn: a rounded square in the application's
// colour with the first letter of its name.
#include "NSWorkspace.h"

#include <desktop/Desktop.h>
#include <graphics/CGColorSpace.h>
#include <graphics/CGDataProvider.h>
#include <graphics/CGImage.h>
#include <graphics/NSBitmapImageRep.h>
#include <graphics/NSImage.h>

#include <cairo.h>

#include <cmath>
#include <map>
#include <mutex>
#include <string>
#include <tuple>

namespace {

constexpr int kIconSide = 128;

void roundedSquare(cairo_t* cr, double inset, double radius)
{
    double a = inset, b = kIconSide - inset;
    cairo_new_sub_path(cr);
    cairo_arc(cr, b - radius, a + radius, radius, -M_PI / 2, 0);
    cairo_arc(cr, b - radius, b - radius, radius, 0, M_PI / 2);
    cairo_arc(cr, a + radius, b - radius, radius, M_PI / 2, M_PI);
    cairo_arc(cr, a + radius, a + radius, radius, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

Ref<NSImage> drawIcon(uint32_t colour, const std::string& name, bool document)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kIconSide, kIconSide);
    cairo_t* cr = cairo_create(surface);
    double r = ((colour >> 16) & 0xff) / 255.0, g = ((colour >> 8) & 0xff) / 255.0, b = (colour & 0xff) / 255.0;
    if (document) {
        cairo_rectangle(cr, 24, 8, 80, 112);
        cairo_set_source_rgb(cr, 0.97, 0.97, 0.97);
        cairo_fill_preserve(cr);
        cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
        cairo_set_line_width(cr, 2);
        cairo_stroke(cr);
    } else {
        roundedSquare(cr, 8, 24);
        cairo_pattern_t* shade = cairo_pattern_create_linear(0, 8, 0, kIconSide - 8);
        cairo_pattern_add_color_stop_rgb(shade, 0, std::min(1.0, r * 1.15 + 0.05), std::min(1.0, g * 1.15 + 0.05), std::min(1.0, b * 1.15 + 0.05));
        cairo_pattern_add_color_stop_rgb(shade, 1, r * 0.8, g * 0.8, b * 0.8);
        cairo_set_source(cr, shade);
        cairo_fill(cr);
        cairo_pattern_destroy(shade);
        if (!name.empty()) {
            std::string letter(1, name[0]);
            cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
            cairo_set_font_size(cr, 72);
            cairo_text_extents_t extents;
            cairo_text_extents(cr, letter.c_str(), &extents);
            cairo_move_to(cr, (kIconSide - extents.width) / 2 - extents.x_bearing, (kIconSide - extents.height) / 2 - extents.y_bearing);
            cairo_set_source_rgb(cr, 1, 1, 1);
            cairo_show_text(cr, letter.c_str());
        }
    }
    cairo_destroy(cr);
    auto image = CGImageCreateWithCairoSurface(surface);
    cairo_surface_destroy(surface);
    return NSImage::imageWithCGImage(image, CGSizeMake(kIconSide, kIconSide));
}

// Icons are drawn once per look and shared, as the workspace keeps the icons
// it has loaded: a list of windows asks for its applications' icons at every
// showing, and the shrunk copies an image keeps for small drawings then
// last as long as the icon.
Ref<NSImage> cachedIcon(uint32_t colour, const std::string& name, bool document)
{
    static std::mutex mutex;
    static std::map<std::tuple<uint32_t, std::string, bool>, Ref<NSImage>> icons;
    std::lock_guard lock(mutex);
    auto& icon = icons[{ colour, name, document }];
    if (!icon)
        icon = drawIcon(colour, name, document);
    return icon;
}

// An application's own icon: one representation per size it offers, so
// that a drawing takes the size nearest to its own. Kept while the
// application keeps the same images.
Ref<NSImage> ownIcon(const std::shared_ptr<const std::vector<DesktopImage>>& images)
{
    static std::mutex mutex;
    static std::map<const void*, std::pair<std::weak_ptr<const std::vector<DesktopImage>>, Ref<NSImage>>> icons;
    std::lock_guard lock(mutex);
    auto& entry = icons[images.get()];
    if (entry.second && entry.first.lock() == images)
        return entry.second;
    // Icons of images that are gone go with them.
    std::erase_if(icons, [](const auto& e) { return e.second.first.expired() && e.second.second; });
    auto icon = NSImage::create(CGSizeMake(kIconSide, kIconSide));
    for (const auto& picture : *images) {
        if (picture.empty())
            continue;
        std::vector<uint8_t> bytes = picture.rgba;
        auto cg = CGImageCreate(picture.width, picture.height, 8, 32, size_t(picture.width) * 4,
            CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast, CGDataProviderCreateWithBytes(std::move(bytes)));
        auto rep = NSBitmapImageRep::createWithCGImage(cg);
        rep->setSize(CGSizeMake(kIconSide, kIconSide));
        icon->addRepresentation(rep);
    }
    icons[images.get()] = { images, icon };
    return icon;
}

}

Ref<NSImage> NSWorkspace::iconForFile(const std::string& path) const
{
    for (const auto& app : Desktop::current().runningApplications()) {
        if (app.bundlePath.empty() || app.bundlePath != path)
            continue;
        if (app.icons && !app.icons->empty())
            return ownIcon(app.icons);
        return cachedIcon(app.iconColor, app.name, false);
    }
    return cachedIcon(0xdddddd, {}, true);
}
