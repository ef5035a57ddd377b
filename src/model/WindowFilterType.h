// Which windows the model's shown list holds.
#pragma once

#include <cstdint>

using WindowFilterType = int32_t;

enum : WindowFilterType {
    WindowFilterOnScreen = 0,
    WindowFilterAll = 1,
    WindowFilterActiveApplication = 2,
};
