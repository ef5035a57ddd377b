#include "KeyAndMouseEventView.h"

#include <foundation/Log.h>

void CaruselItemView::mouseDown(const Ref<NSEvent>&) { NSLog("mouseDown in View"); }
