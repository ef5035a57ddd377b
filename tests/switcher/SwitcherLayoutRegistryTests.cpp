#include "PanelTestSupport.h"

#include <foundation/Log.h>

namespace {

constexpr SwitcherLayout kCode = 42;

class NotALayout : public NSViewController { };

}

TEST(SwitcherLayoutRegistry, ACodeWithoutFactoryFindsNoLayout)
{
    EXPECT_FALSE(SwitcherLayoutRegistry::hasLayout(kCode));
    EXPECT_EQ(SwitcherLayoutRegistry::makeLayout(kCode), nullptr);
}

TEST(SwitcherLayoutRegistry, TheLatestRegistrationWinsUntilItEnds)
{
    auto first = SwitcherLayoutRegistry::registerLayout(kCode, [] { return makeRef<PanelTestLayout>(1); });
    auto made = dynamicRef<PanelTestLayout>(SwitcherLayoutRegistry::makeLayout(kCode));
    ASSERT_TRUE(made);
    EXPECT_EQ(made->code, 1);
    EXPECT_NE(SwitcherLayoutRegistry::makeLayout(kCode), made) << "a new controller every time";
    {
        auto second
            = SwitcherLayoutRegistry::registerLayout(kCode, [] { return makeRef<PanelTestLayout>(2); });
        EXPECT_EQ(dynamicRef<PanelTestLayout>(SwitcherLayoutRegistry::makeLayout(kCode))->code, 2);
    }
    EXPECT_EQ(dynamicRef<PanelTestLayout>(SwitcherLayoutRegistry::makeLayout(kCode))->code, 1);
    first.reset();
    EXPECT_FALSE(SwitcherLayoutRegistry::hasLayout(kCode));
    EXPECT_FALSE(SwitcherLayoutRegistry::hasLayout(kCode + 1));
}

TEST(SwitcherLayoutRegistry, ControllersThatAreNotLayoutsAreRefused)
{
    LogCapture log;
    auto token = SwitcherLayoutRegistry::registerLayout(kCode, [] { return makeRef<NotALayout>(); });
    EXPECT_EQ(SwitcherLayoutRegistry::makeLayout(kCode), nullptr);
    EXPECT_TRUE(log.contains("is not a switcher layout"));
}

TEST(SwitcherLayoutRegistry, ALayoutClassRegistersByItsPlainInitialiser)
{
    struct Plain : PanelTestLayout {
        Plain()
            : PanelTestLayout(7)
        {
        }
    };
    auto token = SwitcherLayoutRegistry::registerLayout<Plain>(kCode);
    auto made = SwitcherLayoutRegistry::makeLayout(kCode);
    ASSERT_TRUE(made);
    EXPECT_TRUE(switcherLayoutProtocol(made));
    EXPECT_EQ(dynamicRef<PanelTestLayout>(made)->code, 7);
}

TEST(SwitcherLayoutRegistry, AStaticRegistrationLastsForTheProcess)
{
    constexpr SwitcherLayout code = 4242;
    {
        SwitcherLayoutRegistration registration(
            code, [code] { return Ref<NSViewController>(makeRef<PanelTestLayout>(code)); });
    }
    ASSERT_TRUE(SwitcherLayoutRegistry::hasLayout(code));
    EXPECT_EQ(dynamicRef<PanelTestLayout>(SwitcherLayoutRegistry::makeLayout(code))->code, code);
}
