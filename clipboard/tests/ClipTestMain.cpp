// The clipboard tests' main: X thread support before anything else, as in the editor's main.
#include "clipboard/ClipboardSystem.h"

#include <csignal>
#include <gtest/gtest.h>

using namespace tw;

int main(int argc, char **argv) {
    clipboardInitThreads();
    std::signal(SIGPIPE, SIG_IGN); // a helper that died must fail a test, not end the run
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
