// Cyclic steps through a list: the element after (or before) one that is
// equal to the given object, wrapping around at the ends. Nothing when the
// list is empty or does not hold the object (a screen that has gone away, a
// space no longer listed).
#pragma once

#include <foundation/NSObject.h>

#include <algorithm>
#include <vector>

template <class T>
Ref<T> DRNextFrom(const std::vector<Ref<T>>& list, const NSObject& object)
{
    auto it = std::find_if(list.begin(), list.end(), [&](const Ref<T>& e) { return e && e->isEqual(&object); });
    if (it == list.end())
        return nullptr;
    return ++it == list.end() ? list.front() : *it;
}

template <class T>
Ref<T> DRPreviousFrom(const std::vector<Ref<T>>& list, const NSObject& object)
{
    auto it = std::find_if(list.begin(), list.end(), [&](const Ref<T>& e) { return e && e->isEqual(&object); });
    if (it == list.end())
        return nullptr;
    return it == list.begin() ? list.back() : *--it;
}
