#include "GrantController.h"

#include <appkit/NSApplication.h>
#include <appkit/NSNib.h>
#include <appkit/NSPasteboard.h>
#include <appkit/NSScreen.h>
#include <appkit/NSWorkspace.h>
#include <foundation/Format.h>
#include <foundation/NSBundle.h>
#include <foundation/NSUserDefaults.h>
#include <foundation/RunLoop.h>
#include <graphics/NSImage.h>
#include <model/AccessHelper.h>

namespace {

Ref<NSTextField> label(const std::string& text, CGRect frame, bool bold = false)
{
    auto field = NSTextField::labelWithString(text);
    field->setFrame(frame);
    if (bold)
        field->setFont(NSFont::boldSystemFontOfSize(13));
    return field;
}

// A description under a permission's name: two lines beside the button.
Ref<NSTextField> description(const std::string& text, CGFloat top)
{
    constexpr CGFloat kWidth = 340, kHeight = 34;
    auto field = label(text, CGRectMake(44, top - kHeight, kWidth, kHeight));
    field->setLineBreakMode(NSLineBreakByWordWrapping);
    return field;
}

Ref<NSButton> button(const std::string& title, CGRect frame, const Ref<NSObject>& target, const std::string& action)
{
    auto b = NSButton::buttonWithTitle(title, target, action);
    b->setFrame(frame);
    return b;
}

Ref<NSImageView> light(CGRect frame)
{
    auto view = makeRef<NSImageView>(frame);
    view->setImage(NSImage::imageNamed(NSImageNameStatusNone));
    return view;
}

}

// The window: a row per permission (light, name, what it is for, request
// button), a command to copy for the terminal, and the contact and continue
// buttons. The window's delegate is the controller.
static NSNibRegistration grantControllerNib("GrantController", [](NSObject& owner) {
    auto& controller = dynamic_cast<GrantController&>(owner);
    auto self = controller.selfRef<NSObject>();
    auto window = makeRef<NSWindow>(CGRectMake(0, 0, 560, 330), NSWindowStyleMaskTitled | NSWindowStyleMaskClosable);
    window->setTitle("Quorvex Permissions");
    auto content = window->contentView();

    content->addSubview(
        label("Quorvex needs two permissions to list and switch windows.", CGRectMake(20, 286, 520, 20), true));

    auto screenStatus = light(CGRectMake(20, 238, 16, 16));
    content->addSubview(screenStatus);
    content->addSubview(label("Screen Recording", CGRectMake(44, 238, 300, 18), true));
    content->addSubview(description("Shows window previews and the titles of other applications' windows.", 236));
    auto screenBtn = button(GrantController::kRequestTitle, CGRectMake(400, 226, 140, 28), self, "screen:");
    content->addSubview(screenBtn);

    auto accessibilityStatus = light(CGRectMake(20, 178, 16, 16));
    content->addSubview(accessibilityStatus);
    content->addSubview(label("Accessibility", CGRectMake(44, 178, 300, 18), true));
    content->addSubview(description("Lists, focuses and arranges the windows of other applications.", 176));
    auto accessibilityBtn
        = button(GrantController::kRequestTitle, CGRectMake(400, 166, 140, 28), self, "accessibility:");
    content->addSubview(accessibilityBtn);

    // Kept in the file for a third permission; hidden and never changed.
    auto finderStatus = light(CGRectMake(20, 130, 16, 16));
    finderStatus->setHidden(true);
    content->addSubview(finderStatus);
    auto finderBtn = button("Open Finder", CGRectMake(400, 122, 140, 28), nullptr, {});
    finderBtn->setHidden(true);
    content->addSubview(finderBtn);

    content->addSubview(label(
        "If a permission does not take, reset it in Terminal and grant it again:", CGRectMake(20, 104, 520, 16)));
    auto terminalField = NSTextField::labelWithString("tccutil reset All " + NSBundle::mainBundle().bundleIdentifier());
    terminalField->setFrame(CGRectMake(20, 74, 370, 22));
    terminalField->setSelectable(true);
    content->addSubview(terminalField);
    content->addSubview(button("Copy", CGRectMake(400, 70, 140, 28), self, "cipyToClipboard:"));

    content->addSubview(button("Contact Us", CGRectMake(20, 16, 140, 28), self, "contact:"));
    auto done = button("Continue", CGRectMake(400, 16, 140, 28), self, "closeWindow:");
    done->setKeyEquivalent("\r");
    content->addSubview(done);

    controller.setScreenBtn(screenBtn);
    controller.setAccesibilityBtn(accessibilityBtn);
    controller.setFinderBtn(finderBtn);
    controller.setScreenStatus(screenStatus);
    controller.setAccesibilityStatus(accessibilityStatus);
    controller.setFinderStatus(finderStatus);
    controller.setTerminalField(terminalField);
    window->setDelegate(self);
    // The file opens the window in the middle of the screen.
    window->center();
    controller.setWindow(window);
});

GrantController::GrantController()
    : NSWindowController("GrantController")
{
    setActionHandler("screen:", [this](const Ref<NSObject>& sender) { screen(sender); });
    setActionHandler("accessibility:", [this](const Ref<NSObject>& sender) { accessibility(sender); });
    setActionHandler("contact:", [this](const Ref<NSObject>& sender) { contact(sender); });
    setActionHandler("cipyToClipboard:", [this](const Ref<NSObject>& sender) { cipyToClipboard(sender); });
    setActionHandler("dontShow:", [this](const Ref<NSObject>& sender) { dontShow(sender); });
    setActionHandler("closeWindow:", [this](const Ref<NSObject>& sender) { closeWindow(sender); });
}

GrantController::~GrantController() { invalidateTimer(); }

void GrantController::windowDidLoad()
{
    NSWindowController::windowDidLoad();
    updateControlsState();
    sheduleTimer();
    if (m_timer && m_timer->isValid())
        m_timer->scheduleIn(RunLoop::current(), NSModalPanelRunLoopMode);
}

void GrantController::invalidateTimer()
{
    if (m_timer && m_timer->isValid())
        m_timer->invalidate();
}

void GrantController::sheduleTimer()
{
    invalidateTimer();
    if (AccessHelper::allAccessGranted())
        return;
    Weak<GrantController> weak = selfRef<GrantController>();
    m_timer = NSTimer::scheduledTimerWithTimeInterval(kPollInterval, true, [weak](NSTimer&) {
        if (auto self = weak.lock())
            self->onTimer();
    });
}

void GrantController::onTimer() { updateControlsState(); }

void GrantController::updateControlsState()
{
    bool screenGranted = AccessHelper::recordScreenGranted();
    if (m_screenStatus)
        m_screenStatus->setImage(
            NSImage::imageNamed(screenGranted ? NSImageNameStatusAvailable : NSImageNameStatusPartiallyAvailable));
    if (m_screenBtn)
        m_screenBtn->setTitle(screenGranted ? kGrantedTitle : kRequestTitle);

    bool accessibilityGranted = accessibilityEnabled();
    if (m_accesibilityStatus)
        m_accesibilityStatus->setImage(
            NSImage::imageNamed(accessibilityGranted ? NSImageNameStatusAvailable : NSImageNameStatusPartiallyAvailable));
    if (m_accesibilityBtn)
        m_accesibilityBtn->setTitle(accessibilityGranted ? kGrantedTitle : kRequestTitle);

    // The window stays up, and polling goes on, until the user closes it.
    if (screenGranted && accessibilityGranted && isWindowLoaded())
        window()->center();
}

// MARK: Actions

void GrantController::screen(const Ref<NSObject>&)
{
    moveWindow();
    AccessHelper::requestScreenRecordingAccess();
}

void GrantController::accessibility(const Ref<NSObject>&)
{
    moveWindow();
    openAccessibility();
}

std::string GrantController::feedbackMailURL()
{
    std::string url = stringWithFormat("mailto:%@?Subject=%@", kFeedbackAddress, kFeedbackSubject);
    std::string encoded;
    for (char c : url) {
        if (c == ' ')
            encoded += "%20";
        else
            encoded += c;
    }
    return encoded;
}

void GrantController::contact(const Ref<NSObject>&)
{
    moveWindow();
    NSApp().activateIgnoringOtherApps(true);
    NSWorkspace::sharedWorkspace().openURL(feedbackMailURL());
}

void GrantController::cipyToClipboard(const Ref<NSObject>&)
{
    auto pasteboard = NSPasteboard::generalPasteboard();
    pasteboard->clearContents();
    if (m_terminalField)
        pasteboard->setString(m_terminalField->stringValue(), NSStringPboardType);
}

void GrantController::dontShow(const Ref<NSObject>&) { NSUserDefaults::standardUserDefaults()->synchronize(); }

void GrantController::closeWindow(const Ref<NSObject>&)
{
    NSApp().stopModal();
    invalidateTimer();
}

void GrantController::windowWillClose(NSWindow& window)
{
    // The platform goes on with a modal run whose window has closed, which
    // would leave the start-up waiting for a window nobody can see.
    if (NSApp().modalWindow().get() == &window)
        NSApp().stopModal();
    invalidateTimer();
}

bool GrantController::accessibilityEnabled() const { return AccessHelper::accessibilityEnabled(); }

void GrantController::openAccessibility() { AccessHelper::openAccessibility(); }

void GrantController::moveWindow()
{
    if (!isWindowLoaded())
        return;
    auto window = this->window();
    auto screen = window->screen();
    if (!screen)
        screen = NSScreen::mainScreen();
    if (!screen)
        return;
    CGRect screenFrame = screen->frame();
    CGRect frame = window->frame();
    // The right edge and the bottom of the window's own screen: on a screen
    // that is not at the origin, the screen's origin is added.
    CGFloat x = static_cast<float>(screenFrame.size.width - frame.size.width);
    window->setFrameOrigin(CGPointMake(screenFrame.origin.x + x, screenFrame.origin.y));
}
