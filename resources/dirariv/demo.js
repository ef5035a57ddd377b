// The demo configuration of the scripting layer: Command+Shift+M shows a
// message for a second and counts the presses in the store.
var presses = Storage.get("presses") || 0;

var hello = new Key("m", ["cmd", "shift"], function (handler, repeated) {
    if (repeated)
        return;
    presses += 1;
    Storage.set("presses", presses);
    var modal = new Modal();
    modal.text = "Hello from Dirariv (" + presses + ")";
    modal.duration = 1;
    modal.origin = { x: 560, y: 420 };
    modal.show();
    console.log("pressed", presses, "times");
});

// Command+Shift+N stores something that is not JSON: refused and logged.
var refuse = new Key("n", ["cmd", "shift"], function () {
    Storage.set("bad", NaN);
});

console.log("demo configuration loaded;", _.keys({ Key: 1, Modal: 2 }).join(" and "), "are ready");
