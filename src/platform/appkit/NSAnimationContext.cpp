#include "NSAnimationContext.h"

#include <foundation/Clock.h>
#include <foundation/RunLoop.h>

#include <map>
#include <memory>
#include <vector>

namespace {

std::vector<NSAnimationContext>& groupStack()
{
    static auto* stack = new std::vector<NSAnimationContext>();
    return *stack;
}

struct Animation {
    CGFloat from { 0 };
    CGFloat to { 0 };
    double start { 0 };
    double duration { 0 };
    std::function<void(CGFloat)> setter;
    bool cancelled { false };
};

using AnimationKey = std::pair<const void*, std::string>;

std::map<AnimationKey, std::shared_ptr<Animation>>& running()
{
    static auto* map = new std::map<AnimationKey, std::shared_ptr<Animation>>();
    return *map;
}

// Ease in and out, as the platform's default timing.
CGFloat ease(CGFloat t) { return t * t * (3 - 2 * t); }

void step(AnimationKey key, std::shared_ptr<Animation> animation)
{
    if (animation->cancelled)
        return;
    double elapsed = Clock::current().now() - animation->start;
    double t = animation->duration > 0 ? elapsed / animation->duration : 1;
    if (t >= 1) {
        auto it = running().find(key);
        if (it != running().end() && it->second == animation)
            running().erase(it);
        animation->setter(animation->to);
        return;
    }
    animation->setter(animation->from + (animation->to - animation->from) * ease(std::max(0.0, t)));
    RunLoop::main().performAfterDelay(animation.get(), "step", NSAnimationContext::kFrameInterval,
        [key, animation] { step(key, animation); }, { kCFRunLoopCommonModes });
}

}

NSAnimationContext& NSAnimationContext::currentContext()
{
    static NSAnimationContext outside;
    outside = NSAnimationContext();
    auto& stack = groupStack();
    return stack.empty() ? outside : stack.back();
}

void NSAnimationContext::beginGrouping() { groupStack().emplace_back(); }

void NSAnimationContext::endGrouping()
{
    auto& stack = groupStack();
    if (stack.empty())
        return;
    NSAnimationContext group = std::move(stack.back());
    stack.pop_back();
    if (group.m_completion) {
        RunLoop::main().performAfterDelay(nullptr, "completionHandler", group.m_longest,
            std::move(group.m_completion), { kCFRunLoopCommonModes });
    }
}

void NSAnimationContext::runAnimationGroup(
    const std::function<void(NSAnimationContext&)>& changes, std::function<void()> completionHandler)
{
    beginGrouping();
    groupStack().back().setCompletionHandler(std::move(completionHandler));
    if (changes)
        changes(groupStack().back());
    endGrouping();
}

void NSAnimationContext::animate(
    const void* object, const std::string& key, CGFloat from, CGFloat to, std::function<void(CGFloat)> setter)
{
    cancelAnimation(object, key);
    auto& context = currentContext();
    double duration = context.m_duration;
    context.m_longest = std::max(context.m_longest, duration);
    if (duration <= 0 || from == to) {
        setter(to);
        return;
    }
    auto animation = std::make_shared<Animation>();
    animation->from = from;
    animation->to = to;
    animation->start = Clock::current().now();
    animation->duration = duration;
    animation->setter = std::move(setter);
    AnimationKey k { object, key };
    running()[k] = animation;
    RunLoop::main().performAfterDelay(
        animation.get(), "step", kFrameInterval, [k, animation] { step(k, animation); }, { kCFRunLoopCommonModes });
}

void NSAnimationContext::cancelAnimation(const void* object, const std::string& key)
{
    auto it = running().find({ object, key });
    if (it == running().end())
        return;
    it->second->cancelled = true;
    RunLoop::main().cancelPerforms(it->second.get());
    running().erase(it);
}

bool NSAnimationContext::isAnimating(const void* object, const std::string& key)
{
    return running().count({ object, key }) > 0;
}
