#include "tracker/iniparser.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "mlx/tool/exception.hpp"

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

TEST(INIParser, MissingFileIsReportedAndChangesNothing) {
    ini::INIParser p;
    EXPECT_FALSE(p.read(testing::TempDir() + "no/such/file.ini"));
    EXPECT_TRUE(p.begin() == p.end());
}

TEST(NumericSettings, AbsentKeysTakeTheirDefaultsAndTextsReadByExtraction) {
    const auto p = parse("iter = 5 steps\nnoise = 0.25\nkernel =   g\n");
    EXPECT_EQ(ini::readUnsigned(p, "iter", 1), 5u);
    EXPECT_EQ(ini::readUnsigned(p, "plans", 800), 800u);
    EXPECT_EQ(ini::readDouble(p, "noise", 1.0), 0.25);
    EXPECT_EQ(ini::readChar(p, "kernel", '?'), 'g');
    EXPECT_EQ(ini::readChar(p, "absent", '?'), '?');
}

TEST(NumericSettings, TextsThatAreNotNumbersOfTheirTypeAreRefusedNamingKeyAndText) {
    const auto p = parse("iter = abc\nplans = -5\nnbpoints =\nnoise = nan\nwidth0 = inf\nM = +3\n");
    const auto message = [&](auto read) {
        try {
            read();
        } catch (const mlx::tool::generalException& e) {
            return e.message();
        }
        return std::string("accepted");
    };
    EXPECT_EQ(message([&] { ini::readUnsigned(p, "iter", 1); }),
              "configuration key \"iter\": \"abc\" is not an unsigned integer");
    EXPECT_EQ(message([&] { ini::readUnsigned(p, "plans", 1); }),
              "configuration key \"plans\": \"-5\" is not an unsigned integer");
    EXPECT_EQ(message([&] { ini::readUnsigned(p, "nbpoints", 1); }),
              "configuration key \"nbpoints\": \"\" is not an unsigned integer");
    EXPECT_EQ(message([&] { ini::readDouble(p, "noise", 1); }),
              "configuration key \"noise\": \"nan\" is not a finite number");
    EXPECT_EQ(message([&] { ini::readDouble(p, "width0", 1); }),
              "configuration key \"width0\": \"inf\" is not a finite number");
    EXPECT_EQ(ini::readUnsigned(p, "M", 1), 3u);
}
