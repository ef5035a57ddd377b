// The numbered events that travel on the bus (EBEventful).
#pragma once

using EBEventId = unsigned long;

// Command+Q from the event tap while the panel is visible; no data.
inline constexpr EBEventId QuitAppKeyEvent = 1000;
// Control+arrow from the event tap while the panel is visible;
// data {"KeyCode": the key code}.
inline constexpr EBEventId ControlArrowKeyEvent = 1001;
// Command+H from the event tap while the panel is visible; no data.
inline constexpr EBEventId HideAppKeyEvent = 1002;
// The window model's list changed (sent at the end of every setFilter); no data.
inline constexpr EBEventId WindowListChangedEvent = 3000;
// A window chosen in the panel could not be focused because it no longer
// exists; data {"Window": the window record}. The model drops it and refilters.
inline constexpr EBEventId WindowGoneEvent = 3001;
