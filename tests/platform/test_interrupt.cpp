#include "platform/interrupt.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace morwick {
namespace {

namespace fs = std::filesystem;

class RemoveOnInterruptTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "morwick-int-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    // Runs Body in a child process; returns the signal that ended it (0 for a normal exit).
    template <typename F>
    int InChild(F Body) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            Body();
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    static void Touch(const fs::path& p) { std::ofstream(p) << "half"; }
    fs::path dir;
};

TEST_F(RemoveOnInterruptTest, AnInterruptRemovesTheGuardedFileAndEndsTheProgram) {
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        const fs::path part = dir / "a.db.part";
        const fs::path other = dir / "other.db";
        const int ended = InChild([&] {
            Touch(part);
            Touch(fs::path(part.string() + "-journal"));
            Touch(other);
            tRemoveOnInterrupt guard(part.string());
            ::raise(sig);
        });
        EXPECT_EQ(ended, sig);
        EXPECT_FALSE(fs::exists(part)) << sig;
        EXPECT_FALSE(fs::exists(part.string() + "-journal")) << sig;
        EXPECT_TRUE(fs::exists(other)) << sig;
        fs::remove(other);
    }
}

TEST_F(RemoveOnInterruptTest, AfterTheGuardEndsTheFileStaysAndTheSignalActsAsBefore) {
    const fs::path done = dir / "done.db";
    const int ended = InChild([&] {
        Touch(done);
        { tRemoveOnInterrupt guard(done.string()); }
        ::raise(SIGTERM);
    });
    EXPECT_EQ(ended, SIGTERM);
    EXPECT_TRUE(fs::exists(done));
}

}  // namespace
}  // namespace morwick
