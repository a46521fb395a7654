// kivfs: the command-line client of the kivfs library.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>

#include "Cli.h"
#include "Interrupt.h"
#include "Terminal.h"

int main(int argc, char** argv) {
    kivfs_tool::CatchInterrupts();
    // File contents pass through standard input and output unchanged, and
    // the C++ streams need not keep step with C stdio.
    kivfs_tool::UseBinaryMode(stdin);
    kivfs_tool::UseBinaryMode(stdout);
    std::ios::sync_with_stdio(false);
    auto app = kivfs_tool::MakeApp();
    return kivfs_tool::RunApp(*app, argc, argv);
}
