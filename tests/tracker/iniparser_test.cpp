#include "tracker/iniparser.hpp"

#include <gtest/gtest.h>

#include <string>

#include "fixtures.hpp"

TEST(INIParser, SplitsKeysValuesAndCommentsAsTheFileFormatSaysAndTheLastOccurrenceWins) {
    const auto p = fixtures::config(
        "iter = 5\n"
        "nbtrack=3 # three levels\n"
        "# any text = 7\n"
        "kernel = # none\n"
        "M =#\n"
        "a = b = c\n"
        "\n"
        "===\n"
        "   # note\n"
        "tracker = RVM\r\ntracker = jdk\r\nnoise\t=\t0.5\r\n"
        "my key = 1\n"
        "lonely\n"
        "last = no newline");
    std::string table;
    for (const auto& [key, value] : p) table += "[" + key + "]=[" + value + "]\n";
    EXPECT_EQ(table,
              "[]=[]\n"
              "[M]=[]\n"
              "[a]=[b]\n"
              "[iter]=[5]\n"
              "[kernel]=[]\n"
              "[last]=[no newline]\n"
              "[lonely]=[]\n"
              "[my key]=[1]\n"
              "[nbtrack]=[3]\n"
              "[noise]=[0.5]\n"
              "[tracker]=[jdk]\n");
    EXPECT_EQ(p.getFieldValue("Tracker"), "");  // keys are case-sensitive
    EXPECT_FALSE(p.hasField("Tracker"));         // and looking one up does not add it
    const auto empty = fixtures::config("");
    EXPECT_TRUE(empty.begin() == empty.end());
}

TEST(NumericSettings, AbsentKeysTakeTheirDefaultsAndTextsReadByExtraction) {
    const auto p = fixtures::config("iter = 5 steps\nnoise = 0.25\nkernel =   g\n");
    EXPECT_EQ(ini::readUnsigned(p, "iter", 1), 5u);
    EXPECT_EQ(ini::readUnsigned(p, "plans", 800), 800u);
    EXPECT_EQ(ini::readDouble(p, "noise", 1.0), 0.25);
    EXPECT_EQ(ini::readChar(p, "kernel", '?'), 'g');
    EXPECT_EQ(ini::readChar(p, "absent", '?'), '?');
}
