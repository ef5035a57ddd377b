// Makes the panel's layout controllers by their SwitcherLayout code, so that
// the panel never names a layout class: each layout registers a factory for
// its codes (the grid for 0, the list for 1 and 2, the carousel for 3), and
// a code with no factory simply finds no layout.
//
// A layout registers from its own source file, with a static
// SwitcherLayoutRegistration, or with registerLayout where the registration
// should end (tests). The latest registration of a code is the one used;
// when it ends, the one before it is used again.
//
// A static registration only runs if its object file is linked into the
// program, so whoever assembles the program must refer to the layout (or
// link the library whole).
#pragma once

#include "SwitchViewControllerProtocol.h"
#include "SwitcherCodes.h"

#include <appkit/NSViewController.h>
#include <foundation/Token.h>

#include <functional>
#include <type_traits>

class SwitcherLayoutRegistry {
public:
    using Factory = std::function<Ref<NSViewController>()>;

    [[nodiscard]] static Token registerLayout(SwitcherLayout code, Factory factory);
    // A factory that makes a T with its plain initialiser.
    template <class T>
    requires std::is_base_of_v<NSViewController, T> && std::is_base_of_v<SwitchViewControllerProtocol, T>
    [[nodiscard]] static Token registerLayout(SwitcherLayout code)
    {
        return registerLayout(code, [] { return makeRef<T>(); });
    }

    static bool hasLayout(SwitcherLayout code);
    // A new layout controller for the code; null when no factory is
    // registered, or when what it made is not a layout controller (logged).
    static Ref<NSViewController> makeLayout(SwitcherLayout code);
};

// The layout protocol of a controller the registry made; null for none.
SwitchViewControllerProtocol* switcherLayoutProtocol(const Ref<NSViewController>& controller);

// A registration for the life of the process.
struct SwitcherLayoutRegistration {
    SwitcherLayoutRegistration(SwitcherLayout code, SwitcherLayoutRegistry::Factory factory)
    {
        SwitcherLayoutRegistry::registerLayout(code, std::move(factory)).release();
    }
};
