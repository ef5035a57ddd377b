// no command
quorvex.log("hi");
