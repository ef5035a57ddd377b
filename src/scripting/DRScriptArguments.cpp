#include "DRScriptArguments.h"

#include <javascriptcore/JSContext.h>

#include <cmath>

bool DRThrowScriptError(const std::string& what, const std::string& reason)
{
    if (auto* context = JSContext::currentContext())
        context->setException(context->makeError(what + ": " + reason));
    return false;
}

bool DRIsFinite(const CGPoint& point) { return std::isfinite(point.x) && std::isfinite(point.y); }

bool DRIsFinite(const CGSize& size) { return std::isfinite(size.width) && std::isfinite(size.height); }

bool DRIsFinite(const CGRect& rect) { return DRIsFinite(rect.origin) && DRIsFinite(rect.size); }
