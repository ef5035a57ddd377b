// View controllers: own one view, made on first request from the interface
// file named after the controller (or given), and hear when it appears and
// disappears. While its view is shown the controller sits in the responder
// chain between the view and the view's superview.
#pragma once

#include "NSResponder.h"

#include <string>

class NSView;

class NSViewController : public NSResponder {
public:
    // init: the interface file named after the class.
    NSViewController();
    // initWithNibName:bundle:.
    explicit NSViewController(std::string nibName);
    ~NSViewController() override;

    // The file's name; the class name when none was given.
    std::string nibName() const;
    // Loads the view on first request (loadView, then viewDidLoad).
    const Ref<NSView>& view();
    void setView(const Ref<NSView>& view);
    bool isViewLoaded() const { return static_cast<bool>(m_view); }
    // Loads the interface file. Without one the view is an empty view (and
    // the missing file is logged), so that callers never get none.
    virtual void loadView();

    virtual void viewDidLoad() { }
    virtual void viewWillAppear() { }
    virtual void viewDidAppear() { }
    virtual void viewWillDisappear() { }
    virtual void viewDidDisappear() { }
    bool isViewAppeared() const { return m_appeared; }

    const Value& representedObject() const { return m_representedObject; }
    virtual void setRepresentedObject(const Value& object);
    const std::string& title() const { return m_title; }
    void setTitle(const std::string& title) { m_title = title; }
    virtual bool commitEditing() { return true; }

    Ref<NSResponder> nextResponder() const override;
    Value valueForKey(const std::string& key) const override;
    void setValueForKey(const Value& value, const std::string& key) override;

private:
    friend class NSView;
    friend class NSWindow;
    // Sent by the view tree as the view enters or leaves a visible window.
    void appearanceChanging(bool appearing, bool done);

    std::string m_nibName;
    Ref<NSView> m_view;
    Value m_representedObject;
    std::string m_title;
    bool m_loading { false };
    bool m_appeared { false };
};
