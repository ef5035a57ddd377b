#include "NSGraphicsContextTKExtensions.h"

#include <graphics/NSGraphicsContext.h>

#include <numbers>

double NSGraphicsContextTKExtensions::radians(double degrees) { return degrees * std::numbers::pi / 180; }

double NSGraphicsContextTKExtensions::degrees(double radians) { return radians * 180 / std::numbers::pi; }

void NSGraphicsContextTKExtensions::rotateContext(float degrees, CGRect inRect)
{
    double angle = radians(double(degrees));
    auto context = NSGraphicsContext::currentContext();
    if (angle == 0 || !context)
        return;
    const auto& cg = context->CGContext();
    CGPoint centre = CGPointMake(CGRectGetMidX(inRect), CGRectGetMidY(inRect));
    CGContextTranslateCTM(cg, centre.x, centre.y);
    CGContextRotateCTM(cg, -angle);
    CGContextTranslateCTM(cg, -centre.x, -centre.y);
}
