// Spaces: Control+Option+Right sends the focused window to the next space,
// and every change of the space shown is noted in the store.
var changed = new Event("spaceDidChange", function () {
    Storage.set("active", Space.active().hash());
    Storage.set("shown", Space.active().windows().map(function (w) { return w.title(); }).join());
});
var send = new Key("right", ["ctrl", "alt"], function () {
    var w = Window.focused();
    Space.active().next().addWindows([w]);
    Storage.set("sent", w.spaces().map(function (s) { return s.hash(); }));
});
