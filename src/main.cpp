#include <command/QuorvexCommand.h>
#include <foundation/LargeBuffers.h>

#include <iostream>

int main(int argc, char** argv)
{
    keepLargeBuffersForReuse();
    return runQuorvex(argc, argv, std::cout, std::cerr);
}
