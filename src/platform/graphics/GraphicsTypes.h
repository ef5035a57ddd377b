// Enumerations and small value types shared by the Core Graphics and
// AppKit drawing classes. The numeric values are the platform's own.
#pragma once

#include <cstdint>

enum CGImageAlphaInfo : uint32_t {
    kCGImageAlphaNone = 0,
    kCGImageAlphaPremultipliedLast = 1,
    kCGImageAlphaPremultipliedFirst = 2,
    kCGImageAlphaLast = 3,
    kCGImageAlphaFirst = 4,
    kCGImageAlphaNoneSkipLast = 5,
    kCGImageAlphaNoneSkipFirst = 6,
    kCGImageAlphaOnly = 7,
};

using CGBitmapInfo = uint32_t;
inline constexpr CGBitmapInfo kCGBitmapAlphaInfoMask = 0x1F;
inline constexpr CGBitmapInfo kCGBitmapFloatComponents = 1u << 8;
inline constexpr CGBitmapInfo kCGBitmapByteOrderMask = 0x7000;
inline constexpr CGBitmapInfo kCGBitmapByteOrderDefault = 0;
inline constexpr CGBitmapInfo kCGBitmapByteOrder16Little = 1u << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder32Little = 2u << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder16Big = 3u << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder32Big = 4u << 12;

enum CGInterpolationQuality : int32_t {
    kCGInterpolationDefault = 0,
    kCGInterpolationNone = 1,
    kCGInterpolationLow = 2,
    kCGInterpolationHigh = 3,
    kCGInterpolationMedium = 4,
};

enum CGBlendMode : int32_t {
    kCGBlendModeNormal = 0,
    kCGBlendModeMultiply,
    kCGBlendModeScreen,
    kCGBlendModeOverlay,
    kCGBlendModeDarken,
    kCGBlendModeLighten,
    kCGBlendModeColorDodge,
    kCGBlendModeColorBurn,
    kCGBlendModeSoftLight,
    kCGBlendModeHardLight,
    kCGBlendModeDifference,
    kCGBlendModeExclusion,
    kCGBlendModeHue,
    kCGBlendModeSaturation,
    kCGBlendModeColor,
    kCGBlendModeLuminosity,
    kCGBlendModeClear,
    kCGBlendModeCopy,
    kCGBlendModeSourceIn,
    kCGBlendModeSourceOut,
    kCGBlendModeSourceAtop,
    kCGBlendModeDestinationOver,
    kCGBlendModeDestinationIn,
    kCGBlendModeDestinationOut,
    kCGBlendModeDestinationAtop,
    kCGBlendModeXOR,
    kCGBlendModePlusDarker,
    kCGBlendModePlusLighter,
};

enum CGLineCap : int32_t { kCGLineCapButt, kCGLineCapRound, kCGLineCapSquare };
enum CGLineJoin : int32_t { kCGLineJoinMiter, kCGLineJoinRound, kCGLineJoinBevel };
enum CGPathDrawingMode : int32_t { kCGPathFill, kCGPathEOFill, kCGPathStroke, kCGPathFillStroke, kCGPathEOFillStroke };

using CGGradientDrawingOptions = uint32_t;
inline constexpr CGGradientDrawingOptions kCGGradientDrawsBeforeStartLocation = 1;
inline constexpr CGGradientDrawingOptions kCGGradientDrawsAfterEndLocation = 2;

// The AppKit compositing operations (NSCompositingOperation). Each maps to
// one blend mode of the drawing context.
enum NSCompositingOperation : unsigned long {
    NSCompositingOperationClear = 0,
    NSCompositingOperationCopy = 1,
    NSCompositingOperationSourceOver = 2,
    NSCompositingOperationSourceIn = 3,
    NSCompositingOperationSourceOut = 4,
    NSCompositingOperationSourceAtop = 5,
    NSCompositingOperationDestinationOver = 6,
    NSCompositingOperationDestinationIn = 7,
    NSCompositingOperationDestinationOut = 8,
    NSCompositingOperationDestinationAtop = 9,
    NSCompositingOperationXOR = 10,
    NSCompositingOperationPlusDarker = 11,
    NSCompositingOperationPlusLighter = 13,
    NSCompositingOperationMultiply = 14,
    NSCompositingOperationScreen = 15,
    NSCompositingOperationOverlay = 16,
    NSCompositingOperationDarken = 17,
    NSCompositingOperationLighten = 18,
    NSCompositingOperationColorDodge = 19,
    NSCompositingOperationColorBurn = 20,
    NSCompositingOperationSoftLight = 21,
    NSCompositingOperationHardLight = 22,
    NSCompositingOperationDifference = 23,
    NSCompositingOperationExclusion = 24,
    NSCompositingOperationHue = 25,
    NSCompositingOperationSaturation = 26,
    NSCompositingOperationColor = 27,
    NSCompositingOperationLuminosity = 28,
};
inline constexpr NSCompositingOperation NSCompositeClear = NSCompositingOperationClear;
inline constexpr NSCompositingOperation NSCompositeCopy = NSCompositingOperationCopy;
inline constexpr NSCompositingOperation NSCompositeSourceOver = NSCompositingOperationSourceOver;
inline constexpr NSCompositingOperation NSCompositeDestinationIn = NSCompositingOperationDestinationIn;

CGBlendMode CGBlendModeForCompositingOperation(NSCompositingOperation);
NSCompositingOperation NSCompositingOperationForBlendMode(CGBlendMode);

// NSImageInterpolation shares its values with CGInterpolationQuality.
enum NSImageInterpolation : unsigned long {
    NSImageInterpolationDefault = 0,
    NSImageInterpolationNone = 1,
    NSImageInterpolationLow = 2,
    NSImageInterpolationHigh = 3,
    NSImageInterpolationMedium = 4,
};
