// The values that layer properties take in animations: a number, a point,
// a size, a rectangle, a transform or a colour. An empty value stands for
// "not given" (an animation's missing fromValue or toValue).
#pragma once

#include "CATransform3D.h"

#include <graphics/CGColor.h>

#include <string>
#include <variant>

using CAValue = std::variant<std::monostate, double, CGPoint, CGSize, CGRect, CATransform3D, CGColorRef>;

inline bool CAValueIsEmpty(const CAValue& v) { return std::holds_alternative<std::monostate>(v); }

// Equal kinds and equal contents; colours compare as CGColorEqualToColor.
bool CAValueEqual(const CAValue&, const CAValue&);

// The value at progress t between from and to (t may leave [0, 1] for
// curves that overshoot). Numbers, points, sizes, rectangles and transforms
// interpolate element by element; colours interpolate their RGBA
// components, with a null colour taken as the other colour made
// transparent. Values of different kinds switch from one to the other at the
// half-way point.
CAValue CAValueInterpolate(const CAValue& from, const CAValue& to, double t);

std::string CAValueDescription(const CAValue&);
