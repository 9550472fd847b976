#include "cli/NimbrelCli.h"

#include <iostream>
#include <unistd.h>

int main(int argc, char **argv) {
    const cli::Terminal terminal{::isatty(STDOUT_FILENO) != 0, ::isatty(STDERR_FILENO) != 0};
    return cli::RunNimbrelCli(argc, argv, std::cout, std::cerr, terminal);
}
