#include "AnimationTestSupport.h"

#include <string>
#include <vector>

namespace {

double opacityShown(const Ref<CALayer>& layer) { return layer->presentationLayer()->opacity(); }

// Records what animations tell their delegate, in order.
class Recorder : public CAAnimationDelegate {
public:
    explicit Recorder(std::vector<std::string>& log, std::string name)
        : m_log(log)
        , m_name(std::move(name))
    {
    }
    void animationDidStart(CAAnimation&) override { m_log.push_back(m_name + " start"); }
    void animationDidStop(CAAnimation&, bool finished) override
    {
        m_log.push_back(m_name + (finished ? " finished" : " cut"));
    }

private:
    std::vector<std::string>& m_log;
    std::string m_name;
};

Ref<CABasicAnimation> fade(double from, double to, double duration)
{
    auto a = CABasicAnimation::animationWithKeyPath("opacity");
    a->setFromValue(from);
    a->setToValue(to);
    a->setDuration(duration);
    return a;
}

}

// MARK: Timing functions

TEST(CAMediaTimingFunction, NamedCurves)
{
    auto linear = CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionLinear);
    auto easeIn = CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseIn);
    auto easeOut = CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseOut);
    auto easeInOut = CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut);
    ASSERT_TRUE(linear && easeIn && easeOut && easeInOut);
    EXPECT_FALSE(CAMediaTimingFunction::functionWithName("bouncy"));

    EXPECT_NEAR(linear->solve(0.3), 0.3, 1e-6);
    EXPECT_LT(easeIn->solve(0.5), 0.4);
    EXPECT_GT(easeOut->solve(0.5), 0.6);
    // easeIn and easeOut mirror each other; easeInEaseOut is symmetric.
    EXPECT_NEAR(easeIn->solve(0.3) + easeOut->solve(0.7), 1, 1e-6);
    EXPECT_NEAR(easeInOut->solve(0.5), 0.5, 1e-6);
    EXPECT_NEAR(easeInOut->solve(0.2) + easeInOut->solve(0.8), 1, 1e-6);
    for (auto& f : { linear, easeIn, easeOut, easeInOut }) {
        EXPECT_EQ(f->solve(0), 0);
        EXPECT_EQ(f->solve(1), 1);
        EXPECT_EQ(f->solve(-2), 0);
        EXPECT_EQ(f->solve(3), 1);
    }
    float point[2];
    easeIn->getControlPointAtIndex(1, point);
    EXPECT_FLOAT_EQ(point[0], 0.42f);
    EXPECT_FLOAT_EQ(point[1], 0);
}

TEST(CAMediaTimingFunction, CustomControlPointsSolveTheBezier)
{
    // The default curve (0.25, 0.1) (0.25, 1): at x = 0.5 the parameter t
    // solving x(t) = 0.5 gives y = 0.8024033877...
    auto f = CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionDefault);
    EXPECT_NEAR(f->solve(0.5), 0.8024033877, 1e-6);

    // (0, 0) (1, 1) as control points: x(t) = 3t^2 - 2t^3 = y(t), so y = x.
    auto diagonal = CAMediaTimingFunction::functionWithControlPoints(0, 0, 1, 1);
    EXPECT_NEAR(diagonal->solve(0.37), 0.37, 1e-6);

    // A curve flat in x at the start (c1x = 1, c2x = 1): x(t) = 1 - (1-t)^3,
    // y(t) = t^3 with c1y = c2y = 0. At x = 0.875, t = 0.5 and y = 0.125.
    auto steep = CAMediaTimingFunction::functionWithControlPoints(1, 0, 1, 0);
    EXPECT_NEAR(steep->solve(0.875), 0.125, 1e-6);

    // An overshooting curve may leave [0, 1] in y, never in x.
    auto overshoot = CAMediaTimingFunction::functionWithControlPoints(0.3, 1.6, 0.7, 1.6);
    EXPECT_GT(overshoot->solve(0.6), 1.0);
    auto clamped = CAMediaTimingFunction::functionWithControlPoints(2, 0, -1, 1);
    float p[2];
    clamped->getControlPointAtIndex(1, p);
    EXPECT_EQ(p[0], 1);
    clamped->getControlPointAtIndex(2, p);
    EXPECT_EQ(p[0], 0);
}

// MARK: Explicit animations

class AnimationClock : public AnimationTest { };

TEST_F(AnimationClock, PresentationValuesFollowTheClock)
{
    auto layer = CALayer::layer();
    layer->setOpacity(0.2f);
    layer->addAnimation(fade(0, 1, 2), "fade");
    EXPECT_NEAR(opacityShown(layer), 0, 1e-6);
    runFor(0.5);
    EXPECT_NEAR(opacityShown(layer), 0.25, 1e-6);
    EXPECT_FLOAT_EQ(layer->opacity(), 0.2f);
    runFor(1.0);
    EXPECT_NEAR(opacityShown(layer), 0.75, 1e-6);
    runFor(0.5);
    // Ended and removed: the model value shows again.
    EXPECT_FALSE(layer->animationForKey("fade"));
    EXPECT_NEAR(opacityShown(layer), 0.2, 1e-6);
}

TEST_F(AnimationClock, TimingFunctionShapesProgress)
{
    auto layer = CALayer::layer();
    auto a = fade(0, 1, 1);
    a->setTimingFunction(CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseIn));
    layer->addAnimation(a, "fade");
    runFor(0.5);
    double expected = CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseIn)->solve(0.5);
    EXPECT_NEAR(opacityShown(layer), expected, 1e-6);
    EXPECT_LT(opacityShown(layer), 0.4);
}

TEST_F(AnimationClock, MissingEndsTakeTheModelValue)
{
    auto layer = CALayer::layer();
    layer->setPosition({ 100, 0 });
    auto a = CABasicAnimation::animationWithKeyPath("position");
    a->setFromValue(CGPoint { 0, 40 });
    a->setDuration(1);
    layer->addAnimation(a, "move");
    runFor(0.25);
    CGPoint p = layer->presentationLayer()->position();
    EXPECT_NEAR(p.x, 25, 1e-9);
    EXPECT_NEAR(p.y, 30, 1e-9);
}

TEST_F(AnimationClock, FillModesAndRemovalOnCompletion)
{
    auto layer = CALayer::layer();
    auto kept = fade(0.5, 0.1, 1);
    kept->setRemovedOnCompletion(false);
    kept->setFillMode(kCAFillModeForwards);
    layer->addAnimation(kept, "kept");
    runFor(2);
    ASSERT_TRUE(layer->animationForKey("kept"));
    EXPECT_NEAR(opacityShown(layer), 0.1, 1e-6);

    // Kept but without a forward fill: the model value shows after the end.
    auto other = CALayer::layer();
    auto unfilled = fade(0.5, 0.1, 1);
    unfilled->setRemovedOnCompletion(false);
    other->addAnimation(unfilled, "kept");
    runFor(2);
    ASSERT_TRUE(other->animationForKey("kept"));
    EXPECT_NEAR(opacityShown(other), 1, 1e-6);

    // A later start shows nothing before it, unless filled backwards.
    auto late = CALayer::layer();
    auto delayed = fade(0.3, 0.6, 1);
    delayed->setBeginTime(now() + 1);
    late->addAnimation(delayed, "a");
    auto delayedBackwards = CABasicAnimation::animationWithKeyPath("cornerRadius");
    delayedBackwards->setFromValue(8.0);
    delayedBackwards->setToValue(10.0);
    delayedBackwards->setDuration(1);
    delayedBackwards->setBeginTime(now() + 1);
    delayedBackwards->setFillMode(kCAFillModeBackwards);
    late->addAnimation(delayedBackwards, "b");
    runFor(0.5);
    EXPECT_NEAR(opacityShown(late), 1, 1e-6);
    EXPECT_NEAR(late->presentationLayer()->cornerRadius(), 8, 1e-9);
    runFor(1);
    EXPECT_NEAR(opacityShown(late), 0.45, 1e-6);
    EXPECT_NEAR(late->presentationLayer()->cornerRadius(), 9, 1e-9);
}

TEST_F(AnimationClock, ZeroDurationRunsForTheTransactionDuration)
{
    auto layer = CALayer::layer();
    CATransaction::begin();
    CATransaction::setAnimationDuration(0.4);
    layer->addAnimation(fade(0, 1, 0), "fade");
    CATransaction::commit();
    // The animation keeps the duration it was given.
    EXPECT_EQ(layer->animationForKey("fade")->duration(), 0);
    runFor(0.2);
    EXPECT_NEAR(opacityShown(layer), 0.5, 1e-6);
    runFor(0.2);
    EXPECT_FALSE(layer->animationForKey("fade"));
}

TEST_F(AnimationClock, ColoursInterpolateComponentWise)
{
    auto layer = CALayer::layer();
    auto a = CABasicAnimation::animationWithKeyPath("backgroundColor");
    a->setFromValue(color(kRed));
    a->setToValue(color(kBlue));
    a->setDuration(1);
    layer->addAnimation(a, "backgroundColor");
    runFor(0.5);
    CGFloat r, g, b, alpha;
    layer->presentationLayer()->backgroundColor()->getRGBA(r, g, b, alpha);
    EXPECT_NEAR(r, 0.5, 1e-6);
    EXPECT_NEAR(g, 0, 1e-6);
    EXPECT_NEAR(b, 0.5, 1e-6);
    EXPECT_NEAR(alpha, 1, 1e-6);

    // From no colour: the target fades in from transparent.
    auto b2 = CABasicAnimation::animationWithKeyPath("borderColor");
    b2->setFromValue(CGColorRef {});
    b2->setToValue(color(kGreen));
    b2->setDuration(1);
    layer->addAnimation(b2, "borderColor");
    runFor(0.25);
    layer->presentationLayer()->borderColor()->getRGBA(r, g, b, alpha);
    EXPECT_NEAR(g, 1, 1e-6);
    EXPECT_NEAR(alpha, 0.25, 1e-6);
}

TEST_F(AnimationClock, DelegatesHearStartAndStopInOrder)
{
    std::vector<std::string> log;
    auto layer = CALayer::layer();
    auto a = fade(0, 1, 1);
    a->setDelegate(std::make_shared<Recorder>(log, "a"));
    auto b = fade(0, 1, 0.5);
    b->setKeyPath("cornerRadius");
    b->setDelegate(std::make_shared<Recorder>(log, "b"));
    layer->addAnimation(a, "a");
    layer->addAnimation(b, "b");
    EXPECT_TRUE(log.empty()) << "start is told on the run loop, not inside addAnimation";
    runFor(0.1);
    EXPECT_EQ(log, (std::vector<std::string> { "a start", "b start" }));
    runFor(2);
    EXPECT_EQ(log, (std::vector<std::string> { "a start", "b start", "b finished", "a finished" }));
}

TEST_F(AnimationClock, RemovedOrReplacedAnimationsStopUnfinished)
{
    std::vector<std::string> log;
    auto layer = CALayer::layer();
    auto first = fade(0, 1, 1);
    first->setDelegate(std::make_shared<Recorder>(log, "first"));
    layer->addAnimation(first, "fade");
    runFor(0.1);
    auto second = fade(1, 0, 1);
    second->setDelegate(std::make_shared<Recorder>(log, "second"));
    layer->addAnimation(second, "fade");
    EXPECT_EQ(log, (std::vector<std::string> { "first start", "first cut" }));
    layer->removeAnimationForKey("fade");
    EXPECT_EQ(log.back(), "second cut");
    EXPECT_TRUE(layer->animationKeys().empty());
    runFor(2);
    // No start or finish arrives for animations already stopped.
    EXPECT_EQ(log.size(), 3u);
}

TEST_F(AnimationClock, TheLayerKeepsACopy)
{
    auto layer = CALayer::layer();
    auto a = fade(0, 1, 1);
    layer->addAnimation(a, "fade");
    a->setToValue(0.0);
    a->setDuration(10);
    runFor(0.5);
    EXPECT_NEAR(opacityShown(layer), 0.5, 1e-6);
    EXPECT_NE(layer->animationForKey("fade"), a);
    EXPECT_GT(layer->animationForKey("fade")->beginTime(), 0);
}

TEST_F(AnimationClock, AnAnimationOfALayerThatGoesAwayStillEnds)
{
    std::vector<std::string> log;
    bool completed = false;
    {
        auto layer = CALayer::layer();
        auto a = fade(0, 1, 1);
        a->setDelegate(std::make_shared<Recorder>(log, "a"));
        CATransaction::begin();
        CATransaction::setCompletionBlock([&] { completed = true; });
        layer->addAnimation(a, "fade");
        CATransaction::commit();
    }
    runFor(2);
    EXPECT_EQ(log, (std::vector<std::string> { "a start", "a cut" }));
    EXPECT_TRUE(completed);
}

// MARK: Transactions

class Transactions : public AnimationTest { };

TEST_F(Transactions, CompletionWaitsForEveryAnimationAddedAfterIt)
{
    std::vector<std::string> log;
    auto layer = CALayer::layer();
    CATransaction::begin();
    auto early = fade(0, 1, 5);
    early->setKeyPath("zPosition");
    early->setDelegate(std::make_shared<Recorder>(log, "early"));
    layer->addAnimation(early, "early");
    CATransaction::setCompletionBlock([&] { log.push_back("complete"); });
    auto shortOne = fade(0, 1, 0.2);
    shortOne->setDelegate(std::make_shared<Recorder>(log, "short"));
    auto longOne = fade(0, 1, 0.5);
    longOne->setKeyPath("cornerRadius");
    longOne->setDelegate(std::make_shared<Recorder>(log, "long"));
    layer->addAnimation(shortOne, "short");
    layer->addAnimation(longOne, "long");
    CATransaction::commit();
    EXPECT_TRUE(log.empty());
    runFor(0.3);
    EXPECT_EQ(log.back(), "short finished");
    runFor(0.3);
    // The animation added before the block was set does not hold it back.
    EXPECT_EQ(log, (std::vector<std::string> { "early start", "short start", "long start", "short finished",
                       "long finished", "complete" }));
}

TEST_F(Transactions, CompletionRunsAtCommitWhenNothingAnimates)
{
    int runs = 0;
    CATransaction::begin();
    CATransaction::setCompletionBlock([&] { ++runs; });
    EXPECT_EQ(runs, 0);
    CATransaction::commit();
    EXPECT_EQ(runs, 1);
    runFor(1);
    EXPECT_EQ(runs, 1);
}

TEST_F(Transactions, NestedAnimationsHoldTheOuterCompletion)
{
    std::vector<std::string> log;
    auto layer = CALayer::layer();
    CATransaction::begin();
    CATransaction::setCompletionBlock([&] { log.push_back("outer"); });
    CATransaction::begin();
    CATransaction::setCompletionBlock([&] { log.push_back("inner"); });
    layer->addAnimation(fade(0, 1, 0.4), "fade");
    CATransaction::commit();
    CATransaction::commit();
    EXPECT_TRUE(log.empty());
    runFor(0.5);
    EXPECT_EQ(log, (std::vector<std::string> { "inner", "outer" }));
}

TEST_F(Transactions, SettingsNestAndReadThrough)
{
    EXPECT_FALSE(CATransaction::disableActions());
    EXPECT_DOUBLE_EQ(CATransaction::animationDuration(), 0.25);
    CATransaction::begin();
    CATransaction::setDisableActions(true);
    CATransaction::setAnimationDuration(1.5);
    CATransaction::begin();
    EXPECT_TRUE(CATransaction::disableActions());
    CATransaction::setDisableActions(false);
    EXPECT_FALSE(CATransaction::disableActions());
    EXPECT_DOUBLE_EQ(CATransaction::animationDuration(), 1.5);
    CATransaction::commit();
    EXPECT_TRUE(CATransaction::disableActions());
    CATransaction::commit();
    EXPECT_FALSE(CATransaction::disableActions());
    // A commit with nothing open is harmless.
    CATransaction::commit();
    EXPECT_EQ(CATransaction::depth(), 0u);
}

TEST_F(Transactions, SettingsOutsideATransactionLastUntilTheTurnEnds)
{
    CATransaction::setDisableActions(true);
    EXPECT_TRUE(CATransaction::disableActions());
    EXPECT_EQ(CATransaction::depth(), 1u);
    settle();
    EXPECT_FALSE(CATransaction::disableActions());
    EXPECT_EQ(CATransaction::depth(), 0u);
}

TEST_F(Transactions, TheImplicitTransactionCommitsEvenWhenItsTurnIsDropped)
{
    auto layer = CALayer::layer();
    CATransaction::setDisableActions(true);
    ASSERT_EQ(CATransaction::depth(), 1u);
    RunLoop::main().reset();
    EXPECT_EQ(CATransaction::depth(), 0u);
    EXPECT_FALSE(CATransaction::disableActions());
    layer->setOpacity(0.5);
    EXPECT_TRUE(layer->animationForKey("opacity")) << "the layer was committed with the transaction";
}

// MARK: Implicit animations

class ImplicitAnimations : public AnimationTest { };

TEST_F(ImplicitAnimations, ACommittedLayerAnimatesAChangeFromTheShownValue)
{
    auto layer = CALayer::layer();
    settle();
    CATransaction::begin();
    CATransaction::setAnimationDuration(1);
    CATransaction::setAnimationTimingFunction(CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionLinear));
    layer->setOpacity(0);
    CATransaction::commit();
    EXPECT_EQ(layer->opacity(), 0);
    ASSERT_TRUE(layer->animationForKey("opacity"));
    runFor(0.25);
    EXPECT_NEAR(opacityShown(layer), 0.75, 1e-6);
    // A change mid-way starts from what is shown, under the same key.
    CATransaction::begin();
    CATransaction::setAnimationDuration(1);
    CATransaction::setAnimationTimingFunction(CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionLinear));
    layer->setOpacity(1);
    CATransaction::commit();
    EXPECT_NEAR(opacityShown(layer), 0.75, 1e-6);
    runFor(0.5);
    EXPECT_NEAR(opacityShown(layer), 0.875, 1e-6);
    EXPECT_EQ(layer->animationKeys(), std::vector<std::string> { "opacity" });
}

TEST_F(ImplicitAnimations, DefaultsAreAQuarterSecondWithTheDefaultCurve)
{
    auto layer = CALayer::layer();
    settle();
    layer->setPosition({ 100, 0 });
    auto a = std::dynamic_pointer_cast<CABasicAnimation>(layer->animationForKey("position"));
    ASSERT_TRUE(a);
    EXPECT_TRUE(CAValueEqual(a->fromValue(), CGPoint { 0, 0 }));
    EXPECT_TRUE(a->timingFunction()->isEqual(
        CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionDefault).get()));
    runFor(0.125);
    double expected = 100 * CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionDefault)->solve(0.5);
    EXPECT_NEAR(layer->presentationLayer()->position().x, expected, 1e-6);
    runFor(0.2);
    EXPECT_FALSE(layer->animationForKey("position"));
}

TEST_F(ImplicitAnimations, NoneForNewLayersDisabledActionsOrEqualValues)
{
    auto fresh = CALayer::layer();
    fresh->setOpacity(0.5);
    EXPECT_FALSE(fresh->hasAnimations()) << "a layer made in this turn is not committed yet";

    auto layer = CALayer::layer();
    settle();
    CATransaction::begin();
    CATransaction::setDisableActions(true);
    layer->setOpacity(0.5);
    layer->setBounds({ 0, 0, 10, 10 });
    CATransaction::commit();
    EXPECT_FALSE(layer->hasAnimations());
    layer->setOpacity(0.5);
    EXPECT_FALSE(layer->hasAnimations());
    // Properties without animation change at once.
    layer->setHidden(true);
    layer->setMasksToBounds(true);
    EXPECT_FALSE(layer->hasAnimations());
}

TEST_F(ImplicitAnimations, TheDelegateChoosesTheAction)
{
    struct Delegate : CALayerDelegate {
        std::vector<std::string> asked;
        Ref<CAAction> actionForLayer(CALayer&, const std::string& key) override
        {
            asked.push_back(key);
            if (key == "opacity")
                return CANullAction::null();
            if (key == "cornerRadius") {
                auto a = CABasicAnimation::animationWithKeyPath("cornerRadius");
                a->setDuration(2);
                return a;
            }
            return nullptr;
        }
    } delegate;
    auto layer = CALayer::layer();
    layer->setDelegate(&delegate);
    settle();
    layer->setOpacity(0.3f);
    layer->setCornerRadius(10);
    layer->setZPosition(4);
    EXPECT_EQ(delegate.asked, (std::vector<std::string> { "opacity", "cornerRadius", "zPosition" }));
    EXPECT_FALSE(layer->animationForKey("opacity"));
    ASSERT_TRUE(layer->animationForKey("cornerRadius"));
    EXPECT_EQ(layer->animationForKey("cornerRadius")->duration(), 2);
    EXPECT_TRUE(layer->animationForKey("zPosition"));
    runFor(1);
    EXPECT_NEAR(layer->presentationLayer()->cornerRadius(), 5, 1e-9);
}

TEST_F(ImplicitAnimations, ADelegateThatGoesAwayIsForgotten)
{
    auto layer = CALayer::layer();
    {
        CALayerDelegate delegate;
        layer->setDelegate(&delegate);
        EXPECT_EQ(layer->delegate(), &delegate);
    }
    EXPECT_EQ(layer->delegate(), nullptr);
    settle();
    layer->setOpacity(0.5);
    EXPECT_TRUE(layer->animationForKey("opacity"));
}

TEST_F(ImplicitAnimations, ImplicitAnimationsHoldTheTransactionCompletion)
{
    bool done = false;
    auto layer = CALayer::layer();
    settle();
    CATransaction::begin();
    CATransaction::setAnimationDuration(0.4);
    CATransaction::setCompletionBlock([&] { done = true; });
    layer->setTransform(CATransform3DMakeTranslation(10, 0, 0));
    CATransaction::commit();
    runFor(0.3);
    EXPECT_FALSE(done);
    runFor(0.2);
    EXPECT_TRUE(done);
}

TEST_F(ImplicitAnimations, PropertiesByKeyActAsTheirSetters)
{
    auto layer = CALayer::layer();
    settle();
    EXPECT_TRUE(layer->setAnimatableValue("backgroundColor", color(kRed)));
    EXPECT_TRUE(CGColorEqualToColor(layer->backgroundColor(), color(kRed)));
    EXPECT_TRUE(layer->animationForKey("backgroundColor"));
    EXPECT_TRUE(layer->setAnimatableValue("backgroundColor", CGColorRef {}));
    EXPECT_FALSE(layer->backgroundColor());
    EXPECT_FALSE(layer->setAnimatableValue("opacity", CGPoint { 1, 2 }));
    EXPECT_FALSE(layer->setAnimatableValue("no such key", 1.0));
    EXPECT_TRUE(CAValueEqual(layer->animatableValue("opacity"), 1.0));
    EXPECT_TRUE(CAValueIsEmpty(layer->animatableValue("hidden")));

    auto text = CATextLayer::layer();
    settle();
    EXPECT_TRUE(text->setAnimatableValue("foregroundColor", color(kBlue)));
    EXPECT_TRUE(CGColorEqualToColor(text->foregroundColor(), color(kBlue)));
    EXPECT_TRUE(text->animationForKey("foregroundColor"));
}
