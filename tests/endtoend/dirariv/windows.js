// Window management keys: halves of the screen, and focus by direction.
function half(side) {
    var w = Window.focused();
    if (!w) return;
    var s = w.screen().flippedVisibleFrame();
    var width = s.width / 2;
    w.setFrame({ x: side === "left" ? s.x : s.x + width, y: s.y, width: width, height: s.height });
}
var left = new Key("left", ["cmd", "alt"], function () { half("left"); });
var right = new Key("right", ["cmd", "alt"], function () { half("right"); });
var west = new Key("h", ["cmd", "alt"], function () { Window.focused().focusClosestNeighbor("west"); });
var east = new Key("l", ["cmd", "alt"], function () { Window.focused().focusClosestNeighbor("east"); });
// The next screen, keeping the window's place relative to the screen.
var next = new Key("n", ["cmd", "alt"], function () {
    var w = Window.focused();
    var from = w.screen().flippedVisibleFrame();
    var to = w.screen().next().flippedVisibleFrame();
    var f = w.frame();
    w.setTopLeft({ x: to.x + (f.x - from.x), y: to.y + (f.y - from.y) });
});
