// Everything of the foundation layer in one include.
#pragma once

#include "CGGeometry.h"
#include "Clock.h"
#include "Dispatch.h"
#include "Format.h"
#include "JSON.h"
#include "Log.h"
#include "NSNotificationCenter.h"
#include "NSObject.h"
#include "NSTimer.h"
#include "Ref.h"
#include "RunLoop.h"
#include "Token.h"
#include "Value.h"
