// What the layout controllers share: whether the panel shows them, the
// Control+arrow keys that reach them through the bus, and the number badge
// of their cells and cards.
#pragma once

#include <appkit/NSViewController.h>
#include <foundation/CGGeometry.h>

class NSScrollView;

class FBFlatButton;

// Whether the controller's view is in a visible window.
bool isLayoutOnScreen(NSViewController& controller);

// Subscribes a layout controller (which must also follow the layout
// protocol) to bus event 1001, once however often it is called: while its
// view is on screen, the event's "KeyCode", cut to 16 bits, goes to its
// processControlKeys. The subscription ends when the controller goes.
void receiveControlArrowKeys(const Ref<NSViewController>& controller);

// Binds a badge button's title to the number at the key path of the owner,
// and hides the button when there is no number (none at all, or an empty
// one: the windows past the ninth), so that no empty badge shows.
void bindNumberBadge(FBFlatButton& badge, const Ref<NSObject>& owner, const std::string& keyPath);

// Raises the bottom edge of a layout's scroll view to the clearance the
// panel asks for (never below the margin its interface gives it), keeping
// its top edge where it is.
void keepScrollViewClearOfBottom(NSScrollView& scroll, CGFloat designedMargin, CGFloat clearance);
