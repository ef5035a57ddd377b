// Events, a timer and a task, each leaving its trace in the store.
var opened = new Event("windowDidOpen", function (w) { Storage.set("opened", w.title()); });
var moved = new Event("mouseDidMove", function (p) { Storage.set("mouse", p.x + "," + p.y); });
var timer = new Timer(2, false, function () { Storage.set("timer", "fired"); });
var task;
// Command+Option+T asks a program for a number and moves the focused
// window's left edge there.
var run = new Key("t", ["cmd", "alt"], function () {
    var w = Window.focused();
    task = new Task("/bin/sh", ["-c", "echo $((6 * 7)); echo done >&2"], function (t) {
        var x = Number(t.output);
        Storage.set("answer", x);
        Storage.set("status", t.status);
        Storage.set("error", t.error.trim());
        w.setTopLeft({ x: x, y: w.topLeft().y });
    });
});
