// Window previews: captured on a background queue, stored on the main queue
// with change notices so that bound views update.
#include "SWApplication.h"
#include "SWWindow.h"

#include <foundation/Dispatch.h>
#include <graphics/NSBitmapImageRep.h>
#include <graphics/NSImage.h>
#include <services/CGWindow.h>
#include <toolkit/NSImageTKExtensions.h>

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

Ref<NSImage> SWWindow::generatePreviewImage() const
{
    CGWindowID number = windowID();
    if (number == 0)
        return nullptr;
    auto captured = CGWindowListCreateImage(CGRectNull, kCGWindowListOptionIncludingWindow, number,
        kCGWindowImageBoundsIgnoreFraming | kCGWindowImageBestResolution | kCGWindowImageNominalResolution);
    Ref<NSImage> picture;
    if (captured) {
        auto rep = NSBitmapImageRep::createWithCGImage(captured);
        picture = NSImage::create();
        picture->addRepresentation(rep);
    }
    // Minimised windows and those of hidden applications show faded.
    constexpr float kHiddenPreviewAlpha = 0.8f;
    bool faded = isWindowMinimized();
    if (!faded) {
        auto application = app();
        faded = application && application->isHidden();
    }
    if (faded)
        return NSImageTKExtensions::imageWithAlpha(picture, kHiddenPreviewAlpha);
    return picture;
}
