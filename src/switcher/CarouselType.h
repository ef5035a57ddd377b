// The carousel's arrangements and its tunable options, by their numeric
// codes. The arrangement code is also the "Style3DIndex" user default.
#pragma once

#include <cstdint>

enum CarouselType : int64_t {
    CarouselTypeLinear = 0,
    CarouselTypeRotary = 1,
    CarouselTypeInvertedRotary = 2,
    CarouselTypeCylinder = 3,
    CarouselTypeInvertedCylinder = 4,
    CarouselTypeWheel = 5,
    CarouselTypeInvertedWheel = 6,
    CarouselTypeCoverFlow = 7,
    CarouselTypeCoverFlow2 = 8,
    CarouselTypeTimeMachine = 9,
    CarouselTypeInvertedTimeMachine = 10,
    CarouselTypeFlip3D = 11,
};

inline constexpr int64_t kCarouselTypeCount = 12;

// The names the preferences show for the arrangements, by code.
const char* CarouselTypeName(int64_t type);

// Every option is asked of the delegate with its code and a default; BOOL
// options are true when the answer is not 0.
enum CarouselOption : int64_t {
    CarouselOptionWrap = 0,
    CarouselOptionShowBackfaces = 1,
    CarouselOptionOffsetMultiplier = 2,
    CarouselOptionVisibleItems = 3,
    CarouselOptionCount = 4,
    CarouselOptionArc = 5,
    CarouselOptionAngle = 6,
    CarouselOptionRadius = 7,
    CarouselOptionTilt = 8,
    CarouselOptionSpacing = 9,
    CarouselOptionFadeMin = 10,
    CarouselOptionFadeMax = 11,
    CarouselOptionFadeRange = 12,
    CarouselOptionFadeMinAlpha = 13,
};
