#include "DRKeyHandler.h"

#include "DRExportProtocols.h"
#include "DRKeyTranslator.h"
#include "DRScriptArguments.h"

#include <appkit/NSEvent.h>
#include <foundation/Log.h>
#include <foundation/NSNotificationCenter.h>

#include <atomic>
#include <cctype>
#include <functional>
#include <mutex>

namespace {

std::string lowercase(std::string s)
{
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::atomic<uint32_t> gNextIdentifier { 0 };

// Reports the handlers' own hot keys as notifications. Hot keys of other
// signatures belong to someone else and go on down the handler chain.
OSStatus keyEventHandler(EventHandlerCallRef, EventRef event, void*)
{
    EventHotKeyID hotKey {};
    OSStatus status = GetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, nullptr, sizeof hotKey, nullptr, &hotKey);
    if (status != noErr) {
        NSLog("Error: Could not get key event identifier. (%d)", status);
        return status;
    }
    if (hotKey.signature != kDRKeyHandlerSignature)
        return eventNotHandledErr;
    const std::string& name
        = GetEventKind(event) == kEventHotKeyPressed ? DRKeyHandlerKeyDownNotification : DRKeyHandlerKeyUpNotification;
    NSNotificationCenter::defaultCenter().postNotificationName(
        name, nullptr, Value::Dictionary { { DRKeyHandlerIdentifier, static_cast<int64_t>(hotKey.id) } });
    return noErr;
}

}

void DRKeyHandler::installEventHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        const EventTypeSpec types[] = { { kEventClassKeyboard, kEventHotKeyPressed }, { kEventClassKeyboard, kEventHotKeyReleased } };
        EventHandlerRef handler;
        OSStatus status = InstallEventHandler(GetEventDispatcherTarget(), NewEventHandlerUPP(keyEventHandler), 2, types, nullptr, &handler);
        if (status != noErr)
            NSLog("Error: Could not install key event handler. (%d)", status);
    });
}

Ref<DRKeyHandler> DRKeyHandler::create(const std::string& key, const std::vector<std::string>& modifiers, JSValue callback)
{
    // A name where the list belongs ("cmd" for ['cmd']) would otherwise read
    // as no modifiers and take the plain key from the whole desktop.
    auto arguments = JSContext::currentArguments();
    if (arguments.size() > 1 && !arguments[1].isUndefined() && !arguments[1].isNull()) {
        bool names = arguments[1].isArray();
        for (uint32_t i = 0, count = names ? arguments[1].property("length").toUInt32() : 0; i < count && names; ++i)
            names = arguments[1].property(i).isString();
        if (!names) {
            DRThrowScriptError("Key", "the argument “modifiers” must be a list of modifier names, such as ['cmd', 'shift'].");
            return nullptr;
        }
    }
    auto handler = makeRef<DRKeyHandler>(key, modifiers, callback);
    handler->setup();
    return handler;
}

DRKeyHandler::DRKeyHandler(const std::string& key, const std::vector<std::string>& modifiers, const JSValue& callback)
    : DRHandler(callback)
    , m_key(key.size() == 1 ? lowercase(key) : key)
{
    installEventHandler();
    for (const auto& modifier : modifiers)
        m_modifiers.push_back(lowercase(modifier));
    m_keyCode = DRKeyTranslator::keyCodeForKey(m_key);
    m_modifierFlags = DRKeyTranslator::modifierFlagsForModifiers(m_modifiers);
}

void DRKeyHandler::setup()
{
    if (m_keyCode == kDRKeyCodeUnknown) {
        NSLog("Warning: Key “%@” not supported.", m_key);
        return;
    }
    m_identifier = gNextIdentifier++;
    m_hasIdentifier = true;
    Weak<DRKeyHandler> weak = selfRef<DRKeyHandler>();
    auto observe = [&](const std::string& name, void (DRKeyHandler::*method)(const NSNotification&)) {
        m_observers.push_back(NSNotificationCenter::defaultCenter().addObserverForName(
            name, nullptr, nullptr, [weak, method](const NSNotification& n) {
                if (auto self = weak.lock())
                    ((*self).*method)(n);
            }));
    };
    observe(DRKeyHandlerWillEnableNotification, &DRKeyHandler::willEnable);
    observe(DRKeyHandlerKeyDownNotification, &DRKeyHandler::keyDown);
    observe(DRKeyHandlerKeyUpNotification, &DRKeyHandler::keyUp);
    enable();
}

DRKeyHandler::~DRKeyHandler()
{
    if (m_enabled) {
        std::string combination;
        for (const auto& modifier : m_modifiers)
            combination += modifier + "+";
        warnCollectedWhileEnabled("Key handler “" + combination + m_key + "”");
    }
    m_observers.clear();
    disable();
    invalidateTimer();
}

void DRKeyHandler::contextDidInvalidate()
{
    // The script that made the handler is gone: its key must not keep
    // calling into a dropped context, nor hold the combination.
    m_observers.clear();
    disable();
}

std::string DRKeyHandler::scriptDescription() const
{
    std::string modifiers;
    for (const auto& modifier : m_modifiers)
        modifiers += (modifiers.empty() ? "" : "+") + modifier;
    return "the callback of Key “" + m_key + "”" + (modifiers.empty() ? "" : " (" + modifiers + ")");
}

size_t DRKeyHandler::hashForKeyCombination() const
{
    std::hash<std::string> hash;
    size_t combination = hash(m_key);
    for (const auto& modifier : m_modifiers)
        combination += hash(modifier);
    return combination;
}

bool DRKeyHandler::enable()
{
    if (m_enabled)
        return true;
    if (!m_hasIdentifier)
        return false;
    NSNotificationCenter::defaultCenter().postNotificationName(DRKeyHandlerWillEnableNotification, selfRef<NSObject>());
    EventHotKeyRef reference;
    OSStatus status = RegisterEventHotKey(
        m_keyCode, m_modifierFlags, { kDRKeyHandlerSignature, m_identifier }, GetEventDispatcherTarget(), 1, &reference);
    if (status != noErr) {
        NSLog("Error: Could not register key %d (%d) with modifiers %d. (%d)", m_keyCode, m_identifier, m_modifierFlags, status);
        return false;
    }
    m_reference = reference;
    m_enabled = true;
    return true;
}

bool DRKeyHandler::disable()
{
    if (!m_enabled)
        return true;
    invalidateTimer();
    OSStatus status = UnregisterEventHotKey(m_reference);
    if (status != noErr) {
        NSLog("Error: Could not unregister key %d. (%d)", m_identifier, status);
        return false;
    }
    m_reference = nullptr;
    m_enabled = false;
    return true;
}

void DRKeyHandler::willEnable(const NSNotification& notification)
{
    auto other = dynamicRef<DRKeyHandler>(notification.object);
    if (!other || other.get() == this || other->hashForKeyCombination() != hashForKeyCombination())
        return;
    invalidateTimer();
    disable();
}

bool DRKeyHandler::isOwnNotification(const NSNotification& notification) const
{
    const Value& identifier = notification.userInfo[DRKeyHandlerIdentifier];
    return m_hasIdentifier && identifier.isNumber() && static_cast<uint32_t>(identifier.integerValue()) == m_identifier;
}

void DRKeyHandler::keyDown(const NSNotification& notification)
{
    if (!isOwnNotification(notification))
        return;
    auto self = selfRef<DRKeyHandler>();
    callWithArguments({ Value(self), false });
    // A press that comes while a repeat runs starts the repeat again.
    invalidateTimer();
    Weak<DRKeyHandler> weak = self;
    m_timer = NSTimer::scheduledTimerWithTimeInterval(NSEvent::keyRepeatDelay(), false, [weak](NSTimer&) {
        if (auto handler = weak.lock())
            handler->delayTimerDidFire();
    });
}

void DRKeyHandler::delayTimerDidFire()
{
    if (!m_enabled)
        return;
    callWithArguments({ Value(selfRef<DRKeyHandler>()), true });
    // The repeating timer takes the delay timer's place, so that the key's
    // release (or disabling) ends it.
    if (!m_enabled)
        return;
    Weak<DRKeyHandler> weak = selfRef<DRKeyHandler>();
    m_timer = NSTimer::scheduledTimerWithTimeInterval(NSEvent::keyRepeatInterval(), true, [weak](NSTimer&) {
        if (auto handler = weak.lock())
            handler->repeatTimerDidFire();
    });
}

void DRKeyHandler::repeatTimerDidFire()
{
    if (m_enabled)
        callWithArguments({ Value(selfRef<DRKeyHandler>()), true });
}

void DRKeyHandler::keyUp(const NSNotification& notification)
{
    if (isOwnNotification(notification))
        invalidateTimer();
}

void DRKeyHandler::invalidateTimer()
{
    if (m_timer)
        m_timer->invalidate();
    m_timer = nullptr;
}

const JSExportClass& DRKeyHandler::exportClass()
{
    static const JSExportClass& c = JSExportClass::define<DRKeyHandler>("Key", &DRHandler::exportClass())
                                        .constructor("initWithKey:modifiers:callback:", &DRKeyHandler::create)
                                        .method("isEnabled", &DRKeyHandler::isEnabled)
                                        .method("enable", &DRKeyHandler::enable)
                                        .method("disable", &DRKeyHandler::disable)
                                        .property("key", &DRKeyHandler::key)
                                        .property("modifiers", &DRKeyHandler::modifiers)
                                        .adopt(DRIdentifiableJSExport);
    return c;
}
