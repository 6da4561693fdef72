#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/platform.h"

// The settings are read at start-up, so the lock folder is the default or
// what CAMSCOUT_RUNDIR named; a name unique to this test keeps it apart.
TEST(reentried, a_second_holder_of_the_same_name_is_refused)
{
    std::string name = "/some/where/camscout-guard-test-" + std::to_string(getpid());
    ASSERT_EQ(reentried(name.c_str()), 0);
    pid_t child = fork();
    if (child == 0)
        _exit(reentried(("other/dir/" + name.substr(name.rfind('/') + 1)).c_str()) != 0 ? 0 : 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child was not refused";
    EXPECT_EQ(reentried("camscout-guard-other-name"), 0);
}
