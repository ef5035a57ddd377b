#include <command/DirarivCommand.h>

#include <iostream>

int main(int argc, char** argv) { return runDirariv(argc, argv, std::cout, std::cerr); }
