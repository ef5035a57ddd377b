// Angle conversions and rotating the current context about a rect's centre.
#pragma once

#include <foundation/CGGeometry.h>

class NSGraphicsContextTKExtensions {
public:
    static double radians(double degrees);
    static double degrees(double radians);
    // Turns the current context clockwise (in y-up space) by the degrees
    // about the rect's centre. Nothing for 0 degrees or without a context.
    static void rotateContext(float degrees, CGRect inRect);
};
