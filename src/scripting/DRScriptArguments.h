// Checks of what scripts pass to the window, screen and mouse objects: a
// geometry that is not finite, or an argument of the wrong kind, becomes a
// JavaScript error in the calling script instead of a request to the
// desktop.
#pragma once

#include <foundation/CGGeometry.h>

#include <string>

// Throws "<what>: <reason>" to the calling script; false, for returning.
bool DRThrowScriptError(const std::string& what, const std::string& reason);

bool DRIsFinite(const CGPoint& point);
bool DRIsFinite(const CGSize& size);
bool DRIsFinite(const CGRect& rect);
