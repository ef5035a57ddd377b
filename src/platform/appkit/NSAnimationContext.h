// Animation groups: changes made through an animator inside a group take
// the group's duration; outside any group they take the default 0.25 s.
// A duration of 0 applies the change at once. Steps run on the main run
// loop at 60 per second of the Clock's time, so a virtual clock drives them.
#pragma once

#include <foundation/CGGeometry.h>

#include <functional>
#include <string>

class NSAnimationContext {
public:
    static constexpr double kDefaultDuration = 0.25;
    static constexpr double kFrameInterval = 1.0 / 60;

    // Runs the changes in a new group; the completion handler runs on the
    // main run loop once the group's animations have ended (at the next
    // turn when there are none).
    static void runAnimationGroup(
        const std::function<void(NSAnimationContext&)>& changes, std::function<void()> completionHandler = {});
    static void beginGrouping();
    static void endGrouping();
    // The innermost open group, or the default context outside any.
    static NSAnimationContext& currentContext();

    double duration() const { return m_duration; }
    void setDuration(double duration) { m_duration = duration < 0 ? 0 : duration; }
    void setCompletionHandler(std::function<void()> handler) { m_completion = std::move(handler); }
    // Whether changes of view layers inside the group run their layers'
    // implicit animations (the views answer no action otherwise).
    bool allowsImplicitAnimation() const { return m_allowsImplicitAnimation; }
    void setAllowsImplicitAnimation(bool flag) { m_allowsImplicitAnimation = flag; }

    // Animates one property of an object from a value to another, replacing
    // an animation of the same property that is still running.
    static void animate(const void* object, const std::string& key, CGFloat from, CGFloat to,
        std::function<void(CGFloat)> setter);
    // Stops an animation of the property, leaving the value where it is.
    static void cancelAnimation(const void* object, const std::string& key);
    static bool isAnimating(const void* object, const std::string& key);

private:
    double m_duration { kDefaultDuration };
    double m_longest { 0 };
    std::function<void()> m_completion;
    bool m_allowsImplicitAnimation { false };
};
