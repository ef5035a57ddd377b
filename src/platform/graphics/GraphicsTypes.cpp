#include "GraphicsTypes.h"

CGBlendMode CGBlendModeForCompositingOperation(NSCompositingOperation op)
{
    switch (op) {
    case NSCompositingOperationClear:
        return kCGBlendModeClear;
    case NSCompositingOperationCopy:
        return kCGBlendModeCopy;
    case NSCompositingOperationSourceOver:
        return kCGBlendModeNormal;
    case NSCompositingOperationSourceIn:
        return kCGBlendModeSourceIn;
    case NSCompositingOperationSourceOut:
        return kCGBlendModeSourceOut;
    case NSCompositingOperationSourceAtop:
        return kCGBlendModeSourceAtop;
    case NSCompositingOperationDestinationOver:
        return kCGBlendModeDestinationOver;
    case NSCompositingOperationDestinationIn:
        return kCGBlendModeDestinationIn;
    case NSCompositingOperationDestinationOut:
        return kCGBlendModeDestinationOut;
    case NSCompositingOperationDestinationAtop:
        return kCGBlendModeDestinationAtop;
    case NSCompositingOperationXOR:
        return kCGBlendModeXOR;
    case NSCompositingOperationPlusDarker:
        return kCGBlendModePlusDarker;
    case NSCompositingOperationPlusLighter:
        return kCGBlendModePlusLighter;
    default:
        break;
    }
    // The blend modes from multiply to luminosity keep their order.
    if (op >= NSCompositingOperationMultiply && op <= NSCompositingOperationLuminosity)
        return static_cast<CGBlendMode>(kCGBlendModeMultiply + (op - NSCompositingOperationMultiply));
    return kCGBlendModeNormal;
}

NSCompositingOperation NSCompositingOperationForBlendMode(CGBlendMode mode)
{
    switch (mode) {
    case kCGBlendModeNormal:
        return NSCompositingOperationSourceOver;
    case kCGBlendModeClear:
        return NSCompositingOperationClear;
    case kCGBlendModeCopy:
        return NSCompositingOperationCopy;
    case kCGBlendModeSourceIn:
        return NSCompositingOperationSourceIn;
    case kCGBlendModeSourceOut:
        return NSCompositingOperationSourceOut;
    case kCGBlendModeSourceAtop:
        return NSCompositingOperationSourceAtop;
    case kCGBlendModeDestinationOver:
        return NSCompositingOperationDestinationOver;
    case kCGBlendModeDestinationIn:
        return NSCompositingOperationDestinationIn;
    case kCGBlendModeDestinationOut:
        return NSCompositingOperationDestinationOut;
    case kCGBlendModeDestinationAtop:
        return NSCompositingOperationDestinationAtop;
    case kCGBlendModeXOR:
        return NSCompositingOperationXOR;
    case kCGBlendModePlusDarker:
        return NSCompositingOperationPlusDarker;
    case kCGBlendModePlusLighter:
        return NSCompositingOperationPlusLighter;
    default:
        return static_cast<NSCompositingOperation>(NSCompositingOperationMultiply + (mode - kCGBlendModeMultiply));
    }
}
