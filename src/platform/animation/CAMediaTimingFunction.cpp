#include "CAMediaTimingFunction.h"

#include <foundation/Format.h>

#include <algorithm>
#include <cmath>

const CAMediaTimingFunctionName kCAMediaTimingFunctionLinear = "linear";
const CAMediaTimingFunctionName kCAMediaTimingFunctionEaseIn = "easeIn";
const CAMediaTimingFunctionName kCAMediaTimingFunctionEaseOut = "easeOut";
const CAMediaTimingFunctionName kCAMediaTimingFunctionEaseInEaseOut = "easeInEaseOut";
const CAMediaTimingFunctionName kCAMediaTimingFunctionDefault = "default";

Ref<CAMediaTimingFunction> CAMediaTimingFunction::functionWithName(const CAMediaTimingFunctionName& name)
{
    if (name == kCAMediaTimingFunctionLinear)
        return functionWithControlPoints(0, 0, 1, 1);
    if (name == kCAMediaTimingFunctionEaseIn)
        return functionWithControlPoints(0.42f, 0, 1, 1);
    if (name == kCAMediaTimingFunctionEaseOut)
        return functionWithControlPoints(0, 0, 0.58f, 1);
    if (name == kCAMediaTimingFunctionEaseInEaseOut)
        return functionWithControlPoints(0.42f, 0, 0.58f, 1);
    if (name == kCAMediaTimingFunctionDefault)
        return functionWithControlPoints(0.25f, 0.1f, 0.25f, 1);
    return nullptr;
}

Ref<CAMediaTimingFunction> CAMediaTimingFunction::functionWithControlPoints(float c1x, float c1y, float c2x, float c2y)
{
    return makeRef<CAMediaTimingFunction>(c1x, c1y, c2x, c2y);
}

CAMediaTimingFunction::CAMediaTimingFunction(float c1x, float c1y, float c2x, float c2y)
    : m_c1x(std::clamp<double>(c1x, 0, 1))
    , m_c1y(c1y)
    , m_c2x(std::clamp<double>(c2x, 0, 1))
    , m_c2y(c2y)
{
}

void CAMediaTimingFunction::getControlPointAtIndex(size_t index, float values[2]) const
{
    switch (index) {
    case 0:
        values[0] = 0;
        values[1] = 0;
        break;
    case 1:
        values[0] = static_cast<float>(m_c1x);
        values[1] = static_cast<float>(m_c1y);
        break;
    case 2:
        values[0] = static_cast<float>(m_c2x);
        values[1] = static_cast<float>(m_c2y);
        break;
    default:
        values[0] = 1;
        values[1] = 1;
        break;
    }
}

// B(t) = 3(1-t)^2 t c1 + 3(1-t) t^2 c2 + t^3, in polynomial form.
double CAMediaTimingFunction::sampleX(double t) const
{
    double c = 3 * m_c1x, b = 3 * (m_c2x - m_c1x) - c, a = 1 - c - b;
    return ((a * t + b) * t + c) * t;
}

double CAMediaTimingFunction::sampleY(double t) const
{
    double c = 3 * m_c1y, b = 3 * (m_c2y - m_c1y) - c, a = 1 - c - b;
    return ((a * t + b) * t + c) * t;
}

double CAMediaTimingFunction::sampleDerivativeX(double t) const
{
    double c = 3 * m_c1x, b = 3 * (m_c2x - m_c1x) - c, a = 1 - c - b;
    return (3 * a * t + 2 * b) * t + c;
}

double CAMediaTimingFunction::solve(double x) const
{
    if (!(x > 0))
        return 0;
    if (x >= 1)
        return 1;
    constexpr double kEpsilon = 1e-9;
    // Newton's method converges in a few steps where the curve is steep
    // enough; bisection takes over where the slope vanishes. x(t) is
    // monotonic because both control x values lie in [0, 1].
    double t = x;
    for (int i = 0; i < 8; ++i) {
        double error = sampleX(t) - x;
        if (std::fabs(error) < kEpsilon)
            return sampleY(t);
        double slope = sampleDerivativeX(t);
        if (std::fabs(slope) < 1e-6)
            break;
        t -= error / slope;
        if (t < 0 || t > 1)
            break;
    }
    double lo = 0, hi = 1;
    t = x;
    for (int i = 0; i < 64; ++i) {
        double value = sampleX(t);
        if (std::fabs(value - x) < kEpsilon)
            break;
        if (value < x)
            lo = t;
        else
            hi = t;
        t = (lo + hi) / 2;
    }
    return sampleY(t);
}

bool CAMediaTimingFunction::isEqual(const NSObject* other) const
{
    auto o = dynamic_cast<const CAMediaTimingFunction*>(other);
    return o && o->m_c1x == m_c1x && o->m_c1y == m_c1y && o->m_c2x == m_c2x && o->m_c2y == m_c2y;
}

std::string CAMediaTimingFunction::description() const
{
    return stringWithFormat("<CAMediaTimingFunction (%g, %g) (%g, %g)>", m_c1x, m_c1y, m_c2x, m_c2y);
}
