// Transactions group layer changes: they say whether property changes run
// implicit animations, how long those last and with what timing, and run a
// completion block once the animations added inside them have ended.
//
// Transactions nest; a setting made in an inner transaction holds until it
// commits, and an unset one reads through to the enclosing transaction.
// Setting anything while no transaction is open opens an implicit one that
// commits at the end of the current turn of the main run loop. Main thread
// only.
#pragma once

#include "CAMediaTimingFunction.h"

#include <functional>
#include <memory>
#include <vector>

class CATransactionGroup;

class CATransaction {
public:
    static void begin();
    // Commits the innermost transaction. A commit with none open is ignored.
    static void commit();

    // NO unless set: property changes run implicit animations.
    static bool disableActions();
    static void setDisableActions(bool flag);
    // 0.25 s unless set.
    static double animationDuration();
    static void setAnimationDuration(double seconds);
    // Null unless set; implicit animations then use the default curve.
    static Ref<CAMediaTimingFunction> animationTimingFunction();
    static void setAnimationTimingFunction(Ref<CAMediaTimingFunction> function);
    // The block runs once every animation added to a layer after it was set,
    // in this transaction or one nested in it, has ended or been removed, and
    // the transaction has committed; right at the commit when there are none.
    // Setting another block seals the previous one the same way.
    static std::function<void()> completionBlock();
    static void setCompletionBlock(std::function<void()> block);

    // How many transactions are open, the implicit one included.
    static size_t depth();

    // The completion groups an animation added now belongs to (for layers).
    static std::vector<std::shared_ptr<CATransactionGroup>> currentGroups();
    // A new layer's flag, set once the outermost transaction open at its
    // making has committed (for layers).
    static void addCommitFlag(std::shared_ptr<bool> flag);
};

// Counts the animations of one completion block.
class CATransactionGroup {
public:
    explicit CATransactionGroup(std::function<void()> block)
        : m_block(std::move(block))
    {
    }
    void animationAdded() { ++m_pending; }
    void animationEnded();
    // No more animations can join; the block runs when the last one ends.
    void seal();

private:
    void fireIfDone();
    std::function<void()> m_block;
    int m_pending { 0 };
    bool m_sealed { false };
    bool m_fired { false };
};
