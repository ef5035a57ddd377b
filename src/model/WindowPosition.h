// The code of a preset window frame that moveWindowToPosition takes.
#pragma once

#include <cstdint>

using WindowPosition = int32_t;

enum : WindowPosition {
    WindowPositionTopHalf = 1,
    WindowPositionCenter = 2,
    WindowPositionLeftHalf = 3,
    WindowPositionLeft30 = 4,
    WindowPositionLeft60 = 5,
    WindowPositionBottomLeftQuarter = 6,
    WindowPositionTopLeftQuarter = 7,
    WindowPositionRightHalf = 8,
    WindowPositionRight30 = 9,
    WindowPositionRight60 = 10,
    WindowPositionBottomRightQuarter = 11,
    WindowPositionTopRightQuarter = 12,
    WindowPositionNone = 13,
};
