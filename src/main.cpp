#include <command/QuorvexCommand.h>

#include <iostream>

int main(int argc, char** argv) { return runQuorvex(argc, argv, std::cout, std::cerr); }
