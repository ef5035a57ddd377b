// Command+Shift+M greets and stores; the session then edits this file,
// which loads it again.
var greet = new Key("m", ["cmd", "shift"], function (handler, repeated) {
    var modal = new Modal();
    modal.text = "Hello, version 1";
    modal.show();
    Storage.set("greeting", "hello");
    Storage.set("version", 1);
});
