// Command+Shift+M greets and stores; Command+Shift+R loads the
// configuration again after the session has edited this file.
var greet = new Key("m", ["cmd", "shift"], function (handler, repeated) {
    var modal = new Modal();
    modal.text = "Hello, version 1";
    modal.show();
    Storage.set("greeting", "hello");
    Storage.set("version", 1);
});
var reload = new Key("r", ["cmd", "shift"], function () { Dirariv.reload(); });
