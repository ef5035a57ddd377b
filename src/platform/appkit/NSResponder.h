// The responder chain: objects that handle events and action messages, each
// passing what it does not handle to its next responder.
#pragma once

#include "NSActionTarget.h"
#include "NSKeyValueBinding.h"

#include <foundation/NSObject.h>

class NSEvent;

class NSResponder : public NSObject, public NSActionTarget, public NSKeyValueBindingCreation {
public:
    // The next responder: the one set explicitly, else the natural one of
    // the subclass (a view's superview or window, a window's controller).
    virtual Ref<NSResponder> nextResponder() const;
    // Sets (or, with null, clears) an explicit next responder. The link is
    // weak: the chain never keeps its members alive.
    void setNextResponder(const Ref<NSResponder>& responder);

    virtual bool acceptsFirstResponder() const { return false; }
    virtual bool becomeFirstResponder() { return true; }
    virtual bool resignFirstResponder() { return true; }

    // Event handlers. Each passes the event to the next responder unless a
    // subclass handles it.
    virtual void keyDown(const Ref<NSEvent>& event);
    virtual void keyUp(const Ref<NSEvent>& event);
    virtual void flagsChanged(const Ref<NSEvent>& event);
    virtual void mouseDown(const Ref<NSEvent>& event);
    virtual void mouseUp(const Ref<NSEvent>& event);
    virtual void mouseDragged(const Ref<NSEvent>& event);
    virtual void rightMouseDown(const Ref<NSEvent>& event);
    virtual void rightMouseUp(const Ref<NSEvent>& event);
    virtual void mouseMoved(const Ref<NSEvent>& event);
    virtual void mouseEntered(const Ref<NSEvent>& event);
    virtual void mouseExited(const Ref<NSEvent>& event);
    virtual void scrollWheel(const Ref<NSEvent>& event);

    // Sent by interface-file builders to each object they made, once all
    // outlets are set (awakeFromNib).
    virtual void awakeFromNib() { }

    // Sends the action to the first responder of the chain that starts here
    // and answers it; false when none does.
    bool tryToPerform(const std::string& action, const Ref<NSObject>& sender);

protected:
    // Whether an explicit next responder was set (even one that is gone).
    bool hasExplicitNextResponder() const { return m_hasExplicitNext; }

private:
    // Calls the handler of the next responder, or does nothing at the end
    // of the chain.
    template <class Fn>
    void passOn(Fn&& fn);

    Weak<NSResponder> m_next;
    bool m_hasExplicitNext { false };
};
