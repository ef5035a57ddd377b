#include "CATransaction.h"

#include <foundation/RunLoop.h>

#include <optional>

namespace {

constexpr double kDefaultAnimationDuration = 0.25;

struct Transaction {
    bool implicit { false };
    // The implicit transaction's turn ended while explicit ones were still
    // open above it: it commits with the last of them.
    bool commitWhenUncovered { false };
    std::optional<bool> disableActions;
    std::optional<double> animationDuration;
    bool hasTimingFunction { false };
    Ref<CAMediaTimingFunction> timingFunction;
    std::function<void()> completionBlock;
    std::shared_ptr<CATransactionGroup> group;
    std::vector<std::shared_ptr<bool>> newLayers;
};

std::vector<Transaction>& stack()
{
    // Never destroyed: a pending commit of the implicit transaction may be
    // dropped by the run loop during exit.
    static auto* transactions = new std::vector<Transaction>;
    return *transactions;
}

void commitTop()
{
    auto& s = stack();
    if (s.empty())
        return;
    auto group = std::move(s.back().group);
    auto newLayers = std::move(s.back().newLayers);
    s.pop_back();
    // Layers made in a nested transaction are committed with the outermost.
    if (!s.empty()) {
        s.back().newLayers.insert(s.back().newLayers.end(), newLayers.begin(), newLayers.end());
    } else {
        for (auto& flag : newLayers)
            *flag = true;
    }
    if (group)
        group->seal();
}

void commitImplicit()
{
    auto& transactions = stack();
    if (transactions.empty() || !transactions.front().implicit)
        return;
    if (transactions.size() == 1)
        commitTop();
    else
        transactions.front().commitWhenUncovered = true;
}

// Commits the implicit transaction when the run loop gets to it, or when
// the run loop drops it unrun (a reset), so that it never stays open.
struct ImplicitCommit {
    bool done { false };
    ~ImplicitCommit()
    {
        if (!done)
            commitImplicit();
    }
};

// The transaction that setters write to, opening the implicit one when none
// is open.
Transaction& writable()
{
    auto& s = stack();
    if (s.empty()) {
        Transaction implicitTransaction;
        implicitTransaction.implicit = true;
        s.push_back(std::move(implicitTransaction));
        auto commit = std::make_shared<ImplicitCommit>();
        RunLoop::main().perform([commit] {
            commit->done = true;
            commitImplicit();
        });
    }
    return s.back();
}

template <class T, class Member>
std::optional<T> lookUp(Member member)
{
    auto& s = stack();
    for (auto it = s.rbegin(); it != s.rend(); ++it) {
        if ((*it).*member)
            return *((*it).*member);
    }
    return std::nullopt;
}

}

void CATransaction::begin() { stack().push_back(Transaction {}); }

void CATransaction::commit()
{
    auto& s = stack();
    if (s.empty() || s.back().implicit)
        return;
    commitTop();
    if (s.size() == 1 && s.front().commitWhenUncovered)
        commitTop();
}

bool CATransaction::disableActions() { return lookUp<bool>(&Transaction::disableActions).value_or(false); }

void CATransaction::setDisableActions(bool flag) { writable().disableActions = flag; }

double CATransaction::animationDuration()
{
    return lookUp<double>(&Transaction::animationDuration).value_or(kDefaultAnimationDuration);
}

void CATransaction::setAnimationDuration(double seconds) { writable().animationDuration = seconds; }

Ref<CAMediaTimingFunction> CATransaction::animationTimingFunction()
{
    auto& s = stack();
    for (auto it = s.rbegin(); it != s.rend(); ++it) {
        if (it->hasTimingFunction)
            return it->timingFunction;
    }
    return nullptr;
}

void CATransaction::setAnimationTimingFunction(Ref<CAMediaTimingFunction> function)
{
    Transaction& t = writable();
    t.hasTimingFunction = true;
    t.timingFunction = std::move(function);
}

std::function<void()> CATransaction::completionBlock()
{
    auto& s = stack();
    return s.empty() ? nullptr : s.back().completionBlock;
}

void CATransaction::setCompletionBlock(std::function<void()> block)
{
    Transaction& t = writable();
    if (t.group)
        t.group->seal();
    t.completionBlock = block;
    t.group = block ? std::make_shared<CATransactionGroup>(std::move(block)) : nullptr;
}

void CATransaction::addCommitFlag(std::shared_ptr<bool> flag) { writable().newLayers.push_back(std::move(flag)); }

size_t CATransaction::depth() { return stack().size(); }

std::vector<std::shared_ptr<CATransactionGroup>> CATransaction::currentGroups()
{
    std::vector<std::shared_ptr<CATransactionGroup>> groups;
    for (auto& t : stack()) {
        if (t.group)
            groups.push_back(t.group);
    }
    return groups;
}

void CATransactionGroup::animationEnded()
{
    if (m_pending > 0)
        --m_pending;
    fireIfDone();
}

void CATransactionGroup::seal()
{
    m_sealed = true;
    fireIfDone();
}

void CATransactionGroup::fireIfDone()
{
    if (m_fired || !m_sealed || m_pending > 0)
        return;
    m_fired = true;
    if (auto block = std::move(m_block))
        block();
}
