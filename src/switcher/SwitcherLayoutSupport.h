// What the layout controllers share: whether the panel shows them, and the
// Control+arrow keys that reach them through the bus.
#pragma once

#include <appkit/NSViewController.h>
#include <foundation/CGGeometry.h>

class NSScrollView;

// Whether the controller's view is in a visible window.
bool isLayoutOnScreen(NSViewController& controller);

// Subscribes a layout controller (which must also follow the layout
// protocol) to bus event 1001, once however often it is called: while its
// view is on screen, the event's "KeyCode", cut to 16 bits, goes to its
// processControlKeys. The subscription ends when the controller goes.
void receiveControlArrowKeys(const Ref<NSViewController>& controller);

// Raises the bottom edge of a layout's scroll view to the clearance the
// panel asks for (never below the margin its interface gives it), keeping
// its top edge where it is.
void keepScrollViewClearOfBottom(NSScrollView& scroll, CGFloat designedMargin, CGFloat clearance);
