#include "host_process.hpp"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace hosttest {

namespace {

std::string quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

void HostTest::SetUp() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quadtrack-host-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
}

void HostTest::TearDown() { std::filesystem::remove_all(dir_); }

Result HostTest::quadtrack(const std::vector<std::string>& args, const std::string& input,
                           const std::string& plugin) const {
    writeText(path(".stdin"), input);
    std::string command = "cd " + quote(dir_) + " && ";
    command += plugin.empty() ? "unset QUADTRACK_PLUGIN; " : "QUADTRACK_PLUGIN=" + quote(plugin) + " ";
    command += quote(QUADTRACK_EXE);
    for (const auto& a : args) command += " " + quote(a);
    command += " < .stdin > .stdout 2> .stderr";
    const int raw = std::system(command.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = readText(path(".stdout"));
    r.err = readText(path(".stderr"));
    return r;
}

}  // namespace hosttest
