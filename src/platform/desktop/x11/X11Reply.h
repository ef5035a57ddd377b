// A reply (or error) of the X server, owned: freed when it goes.
#pragma once

#include <cstdlib>
#include <memory>

struct X11Free {
    void operator()(void* p) const { std::free(p); }
};

template <class Reply>
using X11Reply = std::unique_ptr<Reply, X11Free>;
