#include "tracker/iniparser.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>


namespace {

ini::INIParser parse(const std::string& text) {
    const std::string path = testing::TempDir() + "iniparser_test_" + std::to_string(getpid()) + ".ini";
    std::ofstream(path, std::ios::binary) << text;
    ini::INIParser parser;
    EXPECT_TRUE(parser.read(path));
    std::remove(path.c_str());
    return parser;
}

std::string table(const ini::INIParser& p) {
    std::string out;
    for (const auto& [key, value] : p) out += "[" + key + "]=[" + value + "]\n";
    return out;
}

}  // namespace

TEST(INIParser, SplitsKeysValuesAndCommentsAsTheFileFormatSays) {
    const auto p = parse(
        "iter = 5\n"
        "nbtrack=3 # three levels\n"
        "# any text = 7\n"
        "kernel = # none\n"
        "M =#\n"
        "a = b = c\n"
        "\n"
        "===\n"
        "   # note\n"
        "my key = 1\n"
        "lonely\n"
        "last = no newline");
    EXPECT_EQ(table(p),
              "[]=[]\n"
              "[M]=[]\n"
              "[a]=[b]\n"
              "[iter]=[5]\n"
              "[kernel]=[]\n"
              "[last]=[no newline]\n"
              "[lonely]=[]\n"
              "[my key]=[1]\n"
              "[nbtrack]=[3]\n");
}

TEST(INIParser, LastOccurrenceWinsAndCarriageReturnsAreTrimmed) {
    const auto p = parse("tracker = RVM\r\ntracker = jdk\r\nnoise\t=\t0.5\r\n");
    EXPECT_EQ(p.getFieldValue("tracker"), "jdk");
    EXPECT_EQ(p.getFieldValue("noise"), "0.5");
    EXPECT_EQ(p.getFieldValue("Tracker"), "");  // keys are case-sensitive
    EXPECT_FALSE(p.hasField("Tracker"));         // and looking one up does not add it
    const auto empty = parse("");
    EXPECT_TRUE(empty.begin() == empty.end());
}

TEST(NumericSettings, AbsentKeysTakeTheirDefaultsAndTextsReadByExtraction) {
    const auto p = parse("iter = 5 steps\nnoise = 0.25\nkernel =   g\n");
    EXPECT_EQ(ini::readUnsigned(p, "iter", 1), 5u);
    EXPECT_EQ(ini::readUnsigned(p, "plans", 800), 800u);
    EXPECT_EQ(ini::readDouble(p, "noise", 1.0), 0.25);
    EXPECT_EQ(ini::readChar(p, "kernel", '?'), 'g');
    EXPECT_EQ(ini::readChar(p, "absent", '?'), '?');
}

