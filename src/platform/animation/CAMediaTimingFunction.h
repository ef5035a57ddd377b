// Timing curves of animations: a cubic Bezier from (0, 0) to (1, 1) whose two
// inner control points shape how progress follows time.
#pragma once

#include <foundation/NSObject.h>

#include <string>

using CAMediaTimingFunctionName = std::string;
extern const CAMediaTimingFunctionName kCAMediaTimingFunctionLinear;
extern const CAMediaTimingFunctionName kCAMediaTimingFunctionEaseIn;
extern const CAMediaTimingFunctionName kCAMediaTimingFunctionEaseOut;
extern const CAMediaTimingFunctionName kCAMediaTimingFunctionEaseInEaseOut;
extern const CAMediaTimingFunctionName kCAMediaTimingFunctionDefault;

class CAMediaTimingFunction : public NSObject {
public:
    // One of the named curves; an unknown name gives null.
    static Ref<CAMediaTimingFunction> functionWithName(const CAMediaTimingFunctionName& name);
    // The control points (c1x, c1y) and (c2x, c2y). The x values are clamped to
    // [0, 1] so that the curve stays a function of time.
    static Ref<CAMediaTimingFunction> functionWithControlPoints(float c1x, float c1y, float c2x, float c2y);

    CAMediaTimingFunction(float c1x, float c1y, float c2x, float c2y);

    // Control point 0..3 as (x, y): 0 is (0, 0), 3 is (1, 1).
    void getControlPointAtIndex(size_t index, float values[2]) const;

    // The curve's y at the point whose x is the given fraction of the
    // duration; the input is clamped to [0, 1].
    double solve(double x) const;

    bool isEqual(const NSObject* other) const override;
    std::string description() const override;

private:
    double sampleX(double t) const;
    double sampleY(double t) const;
    double sampleDerivativeX(double t) const;

    double m_c1x, m_c1y, m_c2x, m_c2y;
};
