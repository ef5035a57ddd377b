#include "ScriptTestSupport.h"

#include <scripting/DRModalWindowController.h>

#include <appkit/NSLayoutConstraint.h>
#include <appkit/NSTextField.h>
#include <appkit/NSVisualEffectView.h>
#include <appkit/NSWindow.h>
#include <graphics/NSColor.h>
#include <graphics/NSImage.h>

namespace {

struct Modal : ::testing::Test {
    Modal() { s.install("Modal", DRModalWindowController::exportClass()); }
    Ref<DRModalWindowController> modal(const std::string& name) { return s.context->objectForKeyedSubscript(name).toObjectOf<DRModalWindowController>(); }
    ScriptWorld s;
};

TEST_F(Modal, TheIconAndTheTextDecideTheLayout)
{
    s.eval("var m = new Modal(); m.text = 'Hello';");
    auto m = modal("m");
    ASSERT_TRUE(m);
    EXPECT_EQ(s.eval("m.duration + ' ' + m.animationDuration + ' ' + m.weight + ' ' + m.appearance"), "0 0.2 24 dark");
    EXPECT_EQ(m->iconViewZeroWidthConstraint()->priority(), 999) << "text alone: the icon view collapses";
    EXPECT_EQ(m->separatorConstraint()->constant(), 0);
    EXPECT_EQ(m->textField()->stringValue(), "Hello") << "the text field is bound to the text";
    m->setIcon(NSImage::create(CGSizeMake(32, 32)));
    EXPECT_EQ(m->iconViewZeroWidthConstraint()->priority(), 250);
    EXPECT_EQ(m->separatorConstraint()->constant(), 10);
    CGRect withIcon = m->frame();
    s.eval("m.text = ''");
    EXPECT_EQ(m->separatorConstraint()->constant(), 0) << "icon alone: no gap";
    EXPECT_LT(m->frame().size.width, withIcon.size.width);
    EXPECT_TRUE(m->window()->ignoresMouseEvents());
    EXPECT_EQ(m->window()->level(), NSFloatingWindowLevel);
    EXPECT_EQ(m->window()->alphaValue(), 0);
}

TEST_F(Modal, AppearancesPickTheBackground)
{
    s.eval("var light = new Modal(); light.text = 'x'; light.appearance = 'LiGhT'; light.show();"
           "var clear = new Modal(); clear.text = 'x'; clear.appearance = 'transparent'; clear.show();"
           "var other = new Modal(); other.text = 'x'; other.appearance = 'purple'; other.show();");
    auto effect = [&](const char* name) { return dynamicRef<NSVisualEffectView>(modal(name)->window()->contentView()); };
    ASSERT_TRUE(effect("light"));
    EXPECT_EQ(effect("light")->material(), NSVisualEffectMaterialLight);
    EXPECT_TRUE(effect("light")->maskImage());
    EXPECT_EQ(modal("light")->textField()->textColor()->description(), NSColor::blackColor()->description());
    EXPECT_FALSE(effect("clear")) << "a transparent panel has no effect view";
    ASSERT_TRUE(effect("other"));
    EXPECT_EQ(effect("other")->material(), NSVisualEffectMaterialDark);
    EXPECT_EQ(modal("other")->material(), 0);
}

TEST_F(Modal, APanelWithADurationFadesInStaysAndFadesOut)
{
    s.eval("var m = new Modal(); m.text = 'Saved'; m.duration = 2; m.origin = {x: 100, y: 200}; m.show();");
    auto m = modal("m");
    s.world.settle();
    EXPECT_TRUE(m->window()->isVisible());
    EXPECT_EQ(m->window()->frame().origin, CGPointMake(100, 200));
    s.world.advance(0.1);
    EXPECT_GT(m->window()->alphaValue(), 0);
    EXPECT_LT(m->window()->alphaValue(), 1);
    s.world.advance(0.15);
    EXPECT_EQ(m->window()->alphaValue(), 1);
    s.world.advance(1.9);
    EXPECT_EQ(m->window()->alphaValue(), 1) << "still there 2 s after the fade-in began";
    s.world.advance(0.2);
    EXPECT_LT(m->window()->alphaValue(), 1) << "fading out 2 s after the fade-in ended";
    s.world.advance(0.5);
    EXPECT_FALSE(m->window()->isVisible());
    s.eval("m.show()");
    s.world.advance(0.5);
    EXPECT_TRUE(m->window()->isVisible()) << "a closed panel shows again";
}

TEST_F(Modal, TheOldMessageNameAndNothingToShow)
{
    s.eval("var m = new Modal(); m.origin = {x: NaN, y: 5}; m.show(); m.message = 'old'; m.message = 'older';");
    auto m = modal("m");
    EXPECT_EQ(s.log.count("Deprecated: Property “message” for modal is deprecated"), 2u);
    EXPECT_EQ(s.eval("m.text"), "older");
    EXPECT_EQ(m->window()->frame().origin, CGPointMake(0, 0)) << "an origin with NaN is ignored";
    s.eval("var empty = new Modal(); empty.show();");
    s.world.advance(1);
    EXPECT_FALSE(modal("empty")->window()->isVisible());
    EXPECT_EQ(s.eval("m.isEqual(m) + ' ' + m.isEqual(empty)"), "true false");
}

}
