#include "NSResponder.h"

#include "NSEvent.h"

Ref<NSResponder> NSResponder::nextResponder() const { return m_next.lock(); }

void NSResponder::setNextResponder(const Ref<NSResponder>& responder)
{
    m_next = responder;
    m_hasExplicitNext = static_cast<bool>(responder);
}

template <class Fn>
void NSResponder::passOn(Fn&& fn)
{
    if (auto next = nextResponder())
        fn(*next);
}

void NSResponder::keyDown(const Ref<NSEvent>& e) { passOn([&](NSResponder& r) { r.keyDown(e); }); }
void NSResponder::keyUp(const Ref<NSEvent>& e) { passOn([&](NSResponder& r) { r.keyUp(e); }); }
void NSResponder::flagsChanged(const Ref<NSEvent>& e) { passOn([&](NSResponder& r) { r.flagsChanged(e); }); }
void NSResponder::mouseDown(const Ref<NSEvent>& e) { passOn([&](NSResponder& r) { r.mouseDown(e); }); }
void NSResponder::mouseUp(const Ref<NSEvent>& e) { passOn([&](NSResponder& r) { r.mouseUp(e); }); }
void NSResponder::mouseDragged(const Ref<NSEvent>& e) { passOn([&](NSResponder& r) { r.mouseDragged(e); }); }
void NSResponder::rightMouseDown(const Ref<NSEvent>& e) { passOn([&](NSResponder& r) { r.rightMouseDown(e); }); }
void NSResponder::rightMouseUp(const Ref<NSEvent>& e) { passOn([&](NSResponder& r) { r.rightMouseUp(e); }); }
void NSResponder::mouseMoved(const Ref<NSEvent>& e) { passOn([&](NSResponder& r) { r.mouseMoved(e); }); }
void NSResponder::mouseEntered(const Ref<NSEvent>& e) { passOn([&](NSResponder& r) { r.mouseEntered(e); }); }
void NSResponder::mouseExited(const Ref<NSEvent>& e) { passOn([&](NSResponder& r) { r.mouseExited(e); }); }
void NSResponder::scrollWheel(const Ref<NSEvent>& e) { passOn([&](NSResponder& r) { r.scrollWheel(e); }); }

bool NSResponder::tryToPerform(const std::string& action, const Ref<NSObject>& sender)
{
    if (respondsToAction(action))
        return performAction(action, sender);
    auto next = nextResponder();
    return next && next->tryToPerform(action, sender);
}
