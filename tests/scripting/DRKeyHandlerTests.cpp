#include "ScriptTestSupport.h"

#include <desktop/InputCodes.h>
#include <scripting/DRKeyHandler.h>
#include <scripting/DRKeyTranslator.h>

#include <appkit/CGEvent.h>

namespace {

struct KeyHandlers : ::testing::Test {
    KeyHandlers()
    {
        s.install("Key", DRKeyHandler::exportClass());
        s.eval("var calls = [];");
    }
    Ref<DRKeyHandler> handler(const std::string& name) { return s.context->objectForKeyedSubscript(name).toObjectOf<DRKeyHandler>(); }
    std::string calls() { return s.eval("calls.join(' ')"); }
    ScriptWorld s;
};

TEST_F(KeyHandlers, NamesBecomeCodesAndFlags)
{
    s.eval("var a = new Key('A', ['Cmd'], function () {}); var f = new Key('f12', [], function () {});"
           "var big = new Key('F12', [], function () {}); var odd = new Key('pageDown', ['SHIFT', 'hyper'], function () {});");
    ASSERT_TRUE(handler("a"));
    EXPECT_EQ(handler("a")->keyCode(), 0u);
    EXPECT_EQ(handler("a")->modifierFlags(), 256u);
    EXPECT_EQ(s.eval("a.key + ' ' + a.modifiers.join() + ' ' + a.isEnabled()"), "a cmd true");
    EXPECT_EQ(handler("f")->keyCode(), 111u);
    EXPECT_TRUE(handler("f")->isEnabled());
    EXPECT_FALSE(handler("big")->isEnabled());
    EXPECT_EQ(s.log.count("Warning: Key “F12” not supported."), 1u);
    EXPECT_EQ(handler("odd")->keyCode(), 121u);
    EXPECT_EQ(handler("odd")->modifierFlags(), 512u) << "names in any case; unknown names add nothing";
    EXPECT_EQ(DRKeyTranslator::keyCodeForKey("="), 24u);
    EXPECT_EQ(DRKeyTranslator::keyCodeForKey("nope"), kDRKeyCodeUnknown);
}

TEST_F(KeyHandlers, ModifiersThatAreNotAListOfNamesAreRefused)
{
    s.eval("var errors = [];"
           "[ 'cmd', ['cmd', 3], { cmd: true } ].forEach(function (m) {"
           "  try { new Key('a', m, function () { calls.push('a'); }); } catch (e) { errors.push(e.message); } });"
           "var none = new Key('b', undefined, function () {});");
    EXPECT_EQ(s.eval("errors.length"), "3");
    EXPECT_EQ(s.eval("errors[0]"), "Key: the argument “modifiers” must be a list of modifier names, such as ['cmd', 'shift'].");
    s.world.desktop().pressKey(kVK_ANSI_A, 0);
    s.world.desktop().releaseKey(kVK_ANSI_A);
    s.world.settle();
    EXPECT_EQ(calls(), "") << "no plain a taken from the whole desktop";
    ASSERT_TRUE(handler("none"));
    EXPECT_EQ(handler("none")->modifierFlags(), 0u) << "no list at all is no modifiers";
}

TEST_F(KeyHandlers, TheHandlerEnabledLastWinsItsCombination)
{
    s.eval("var one = new Key('k', ['cmd'], function () { calls.push('one'); });"
           "var two = new Key('k', ['cmd'], function () { calls.push('two'); });"
           "var other = new Key('k', ['command'], function () {});");
    EXPECT_EQ(s.eval("one.isEnabled() + ' ' + two.isEnabled()"), "false true");
    EXPECT_FALSE(handler("other")->isEnabled()) << "the same flag under another name is refused by the hot keys";
    EXPECT_TRUE(s.log.contains("Error: Could not register key 40"));
    EXPECT_EQ(s.eval("one.enable() + ' ' + one.isEnabled() + ' ' + two.isEnabled()"), "true true false");
    s.world.desktop().pressKey(kVK_ANSI_K, kCGEventFlagMaskCommand);
    s.world.settle();
    s.world.desktop().releaseKey(kVK_ANSI_K);
    s.world.settle();
    EXPECT_EQ(calls(), "one");
    EXPECT_EQ(s.eval("one.disable() + ' ' + one.disable() + ' ' + one.isEnabled()"), "true true false");
}

TEST_F(KeyHandlers, HoldingTheKeyRepeatsUntilItIsReleased)
{
    s.eval("var h = new Key('r', ['cmd', 'shift'], function (handler, repeated) { calls.push(String(handler === h) + repeated); });");
    s.world.desktop().pressKey(kVK_ANSI_R, kCGEventFlagMaskCommand | kCGEventFlagMaskShift);
    s.world.settle();
    EXPECT_EQ(calls(), "truefalse");
    s.world.advance(0.49);
    EXPECT_EQ(calls(), "truefalse");
    s.world.advance(0.01);
    EXPECT_EQ(calls(), "truefalse truetrue") << "first repeat after the key-repeat delay";
    s.world.advance(0.35);
    EXPECT_EQ(calls(), "truefalse truetrue truetrue truetrue truetrue") << "then at every key-repeat interval";
    s.world.desktop().releaseKey(kVK_ANSI_R, kCGEventFlagMaskCommand | kCGEventFlagMaskShift);
    s.world.settle();
    s.world.advance(5);
    EXPECT_EQ(calls(), "truefalse truetrue truetrue truetrue truetrue") << "the release ends the repeating timer";
    EXPECT_FALSE(handler("h")->timer());
}

TEST_F(KeyHandlers, HotKeysOfOthersPassOn)
{
    s.eval("var h = new Key('x', ['cmd'], function () {});");
    auto send = [](OSType signature) {
        EventRef event;
        CreateEvent(nullptr, kEventClassKeyboard, kEventHotKeyPressed, 0, 0, &event);
        EventHotKeyID id { signature, 0 };
        SetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, sizeof id, &id);
        return SendEventToEventTarget(event, GetEventDispatcherTarget());
    };
    EXPECT_EQ(send(FourCharCode("TEST")), eventNotHandledErr) << "another owner's hot key is not swallowed";
    EXPECT_EQ(send(kDRKeyHandlerSignature), noErr);
}

TEST_F(KeyHandlers, AnInvalidatedContextStopsItsHandlers)
{
    s.eval("var h = new Key('z', ['cmd'], function () { calls.push('z'); });");
    auto h = handler("h");
    s.context->invalidate();
    EXPECT_FALSE(h->isEnabled());
    s.world.desktop().pressKey(kVK_ANSI_Z, kCGEventFlagMaskCommand);
    s.world.settle();
    EXPECT_TRUE(registeredEventHotKeys().empty() || std::none_of(registeredEventHotKeys().begin(), registeredEventHotKeys().end(),
                                                      [](const EventHotKeyRef& k) { return k->hotKeyID().signature == kDRKeyHandlerSignature && k->keyCode() == 6; }));
}

}
