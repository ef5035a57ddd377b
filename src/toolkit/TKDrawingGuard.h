// Runs a piece of drawing inside a saved graphics state. An NSException it
// raises is logged with its description and ends the drawing; any other
// exception passes on. The state is restored in every case.
#pragma once

#include <appkit/NSException.h>
#include <foundation/Log.h>
#include <graphics/NSGraphicsContext.h>

template <class Draw>
void TKDrawGuarded(Draw&& draw)
{
    NSGraphicsStateSaver saver;
    try {
        draw();
    } catch (const NSException& exception) {
        NSLog("%@", exception.description());
    }
}
