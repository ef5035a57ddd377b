#include "NSViewController.h"

#include "NSNib.h"
#include "NSView.h"

NSViewController::NSViewController() = default;

NSViewController::NSViewController(std::string nibName)
    : m_nibName(std::move(nibName))
{
}

NSViewController::~NSViewController()
{
    if (m_view && m_view->viewController() == this)
        m_view->setViewController(nullptr);
}

std::string NSViewController::nibName() const { return m_nibName.empty() ? className() : m_nibName; }

const Ref<NSView>& NSViewController::view()
{
    if (!m_view && !m_loading) {
        m_loading = true;
        loadView();
        if (!m_view)
            setView(makeRef<NSView>());
        m_loading = false;
        viewDidLoad();
    }
    return m_view;
}

void NSViewController::setView(const Ref<NSView>& view)
{
    if (view == m_view)
        return;
    if (m_view && m_view->viewController() == this)
        m_view->setViewController(nullptr);
    m_view = view;
    if (view)
        view->setViewController(this);
}

void NSViewController::loadView() { NSNib::loadNibNamed(nibName(), *this); }

void NSViewController::setRepresentedObject(const Value& object)
{
    willChangeValueForKey("representedObject");
    m_representedObject = object;
    didChangeValueForKey("representedObject");
}

Ref<NSResponder> NSViewController::nextResponder() const
{
    if (hasExplicitNextResponder())
        return NSResponder::nextResponder();
    return m_view ? m_view->naturalNextResponder() : nullptr;
}

void NSViewController::appearanceChanging(bool appearing, bool done)
{
    if (appearing == m_appeared)
        return;
    if (appearing) {
        if (done) {
            m_appeared = true;
            viewDidAppear();
        } else {
            viewWillAppear();
        }
    } else {
        if (done) {
            m_appeared = false;
            viewDidDisappear();
        } else {
            viewWillDisappear();
        }
    }
}

Value NSViewController::valueForKey(const std::string& key) const
{
    if (key == "representedObject")
        return m_representedObject;
    if (key == "title")
        return Value(m_title);
    return NSResponder::valueForKey(key);
}

void NSViewController::setValueForKey(const Value& value, const std::string& key)
{
    if (key == "representedObject")
        setRepresentedObject(value);
    else if (key == "title")
        setTitle(value.stringValue());
    else
        NSResponder::setValueForKey(value, key);
}
