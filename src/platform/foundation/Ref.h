// Ownership conventions of the platform: shared objects live in Ref<T>,
// observers and back-pointers hold Weak<T>.
#pragma once

#include <memory>

template <class T>
using Ref = std::shared_ptr<T>;

template <class T>
using Weak = std::weak_ptr<T>;

template <class T, class... Args>
Ref<T> makeRef(Args&&... args)
{
    return std::make_shared<T>(std::forward<Args>(args)...);
}

// Downcast that yields null for a null pointer or a wrong type, like sending
// isKindOfClass: before a cast.
template <class T, class U>
Ref<T> dynamicRef(const Ref<U>& p)
{
    return std::dynamic_pointer_cast<T>(p);
}
