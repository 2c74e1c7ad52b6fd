// Runs the built quadtrack program in a scratch directory, as a user would from a shell.
#ifndef QUADTRACK_TESTS_HOST_PROCESS_HPP
#define QUADTRACK_TESTS_HOST_PROCESS_HPP

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hosttest {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readText(const std::string& path);
void writeText(const std::string& path, const std::string& text);
std::vector<std::string> lines(const std::string& text);

// Each test gets a fresh directory, its working directory for the program, removed afterwards.
class HostTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    // Runs quadtrack with args in the scratch directory and input on standard input; plugin
    // becomes $QUADTRACK_PLUGIN when not empty.
    Result quadtrack(const std::vector<std::string>& args, const std::string& input = "",
                     const std::string& plugin = "") const;

    std::string dir_;
};

}  // namespace hosttest

#endif
