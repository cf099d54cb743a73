#include "platform/SecretInput.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/TestFolder.h"

namespace {

// Points a standard descriptor somewhere else for the scope, then back.
class Redirect {
public:
    Redirect(int target, int replacement) : target_(target), saved_(dup(target)) { dup2(replacement, target); }
    ~Redirect()
    {
        dup2(saved_, target_);
        close(saved_);
    }

    Redirect(const Redirect&) = delete;
    Redirect& operator=(const Redirect&) = delete;

private:
    int target_;
    int saved_;
};

bool EchoOn(int terminal)
{
    struct termios settings;
    return tcgetattr(terminal, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
}

TEST(SecretInput, TerminalTypingIsNotEchoedAndEchoComesBack)
{
    int master = -1;
    int slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    ASSERT_TRUE(EchoOn(slave));
    const std::string errPath = (TestSupport::ScratchFolder() / "stderr").string();
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(err, 0);

    std::string line = "stale";
    bool read = false;
    {
        const Redirect input(STDIN_FILENO, slave);
        const Redirect prompt(STDERR_FILENO, err);
        std::thread reader([&] { read = Platform::ReadSecretLine("Password: ", line, 1024); });
        // Type only once echo is off, as a user would after the prompt, however long the
        // reader takes to get there.
        while (EchoOn(slave))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(write(master, "hunter2\r", 8), 8);
        reader.join();
    }
    EXPECT_TRUE(read);
    EXPECT_EQ(line, "hunter2") << "Enter on a terminal ends the line";
    EXPECT_TRUE(EchoOn(slave)) << "echo is back after reading";

    fcntl(master, F_SETFL, O_NONBLOCK);
    char shown[256];
    const ssize_t count = ::read(master, shown, sizeof shown);
    EXPECT_EQ(std::string(shown, count > 0 ? static_cast<std::size_t>(count) : 0).find("hunter2"), std::string::npos);

    std::ifstream promptFile(errPath);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(promptFile), {}), "Password: \n");
    close(err);
    close(slave);
    close(master);
}

}  // namespace
