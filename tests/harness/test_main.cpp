#define DOCTEST_CONFIG_IMPLEMENT
#define DOCTEST_CONFIG_NO_POSIX_SIGNALS
#include <doctest.h>

#include "test_args.h"

int TestArgc;
char **TestArgv;

int main(int argc, char **argv)
{
    TestArgc = argc;
    TestArgv = argv;
    doctest::Context context(argc, argv);
    return context.run();
}
