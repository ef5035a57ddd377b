
  
#!/bin/echo hello
var x = 1;
