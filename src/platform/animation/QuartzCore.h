// Everything of the layer library in one include.
#pragma once

#include "CABase.h"
#include "CAAnimation.h"
#include "CALayer.h"
#include "CAMediaTimingFunction.h"
#include "CAShapeLayer.h"
#include "CATextLayer.h"
#include "CATransaction.h"
#include "CATransform3D.h"
#include "CAValue.h"
