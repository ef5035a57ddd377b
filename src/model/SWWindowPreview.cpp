// Window previews: captured on a background queue, stored on the main queue
// with change notices so that bound views update.
#include "SWApplication.h"
#include "SWWindow.h"

#include <foundation/Dispatch.h>
#include <graphics/CGImage.h>
#include <graphics/NSBitmapImageRep.h>
#include <graphics/NSImage.h>
#include <services/CGWindow.h>
#include <toolkit/NSImageTKExtensions.h>

#include <algorithm>

void SWWindow::updatePreview()
{
    auto self = selfRef<SWWindow>();
    if (!self)
        return;
    uint64_t request = ++m_previewRequests;
    dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0), [self, request] {
        auto picture = self->generatePreviewImage();
        dispatch_async(dispatch_get_main_queue(), [self, request, picture] {
            self->willChangeValueForKey("previewImage");
            // Captures run side by side: the picture of the newest request
            // wins, whichever capture finishes last.
            if (request > self->m_storedPreviewRequest) {
                self->m_storedPreviewRequest = request;
                self->setPreviewImage(picture);
            }
            self->didChangeValueForKey("previewImage");
            self->willChangeValueForKey("title");
            self->didChangeValueForKey("title");
        });
    });
}

namespace {

// The most pixels a preview keeps on each side: twice the grid's 240 x 150
// thumbnail. Previews show at most as large as a carousel card, mostly as
// those thumbnails; a full-size capture of every window would hold
// gigabytes for a few hundred windows.
constexpr size_t kPreviewMaxWidth = 480;
constexpr size_t kPreviewMaxHeight = 300;

// The smallest whole factor that brings the capture inside the preview's
// pixel budget.
int previewReduction(size_t width, size_t height)
{
    size_t factor = std::max((width + kPreviewMaxWidth - 1) / kPreviewMaxWidth,
        (height + kPreviewMaxHeight - 1) / kPreviewMaxHeight);
    return static_cast<int>(std::clamp<size_t>(factor, 1, CGImage::kMaxReduction));
}

}

namespace {

// Whether two images hold the same pixels in the same layout.
bool samePixels(const CGImage& a, const CGImage& b)
{
    if (a.width() != b.width() || a.height() != b.height() || a.bytesPerRow() != b.bytesPerRow()
        || a.bitmapInfo() != b.bitmapInfo() || !a.dataProvider() || !b.dataProvider())
        return false;
    auto x = a.dataProvider()->bytes(), y = b.dataProvider()->bytes();
    return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin());
}

}

Ref<NSImage> SWWindow::generatePreviewImage() const
{
    CGWindowID number = windowID();
    if (number == 0)
        return nullptr;
    auto captured = CGWindowListCreateImage(CGRectNull, kCGWindowListOptionIncludingWindow, number,
        kCGWindowImageBoundsIgnoreFraming | kCGWindowImageBestResolution | kCGWindowImageNominalResolution);
    if (!captured)
        return nullptr;
    // The picture keeps the window's size in points over an averaged copy of
    // the capture; the full-size capture goes when this returns.
    CGSize bounds = CGSizeMake(double(captured->width()), double(captured->height()));
    int factor = previewReduction(captured->width(), captured->height());
    auto kept = factor > 1 ? CGImageCreateReducedCopy(captured, factor) : captured;
    captured = nullptr;
    // Minimised windows and those of hidden applications show faded (made
    // at the kept copy's size, then given the window's).
    constexpr float kHiddenPreviewAlpha = 0.8f;
    bool faded = isWindowMinimized();
    if (!faded) {
        auto application = app();
        faded = application && application->isHidden();
    }
    {
        std::lock_guard lock(m_lastPictureMutex);
        const auto& last = m_lastPicture;
        if (last.picture && last.faded == faded && CGSizeEqualToSize(last.bounds, bounds) && samePixels(*last.source, *kept))
            return last.picture;
    }
    auto picture = NSImage::create();
    picture->addRepresentation(NSBitmapImageRep::createWithCGImage(kept));
    if (faded)
        picture = NSImageTKExtensions::imageWithAlpha(picture, kHiddenPreviewAlpha);
    if (!picture)
        return nullptr;
    for (const auto& rep : picture->representations())
        rep->setSize(bounds);
    picture->setSize(bounds);
    std::lock_guard lock(m_lastPictureMutex);
    m_lastPicture = { kept, bounds, faded, picture };
    return picture;
}
