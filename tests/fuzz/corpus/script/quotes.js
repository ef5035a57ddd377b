#!sh -c 'echo "$1"' it's
