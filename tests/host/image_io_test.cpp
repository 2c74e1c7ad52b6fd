#include "host/image_io.hpp"
#include "host_process.hpp"

#include <stb_image_write.h>

#include <gtest/gtest.h>

#include <cstdio>

using namespace host;
using hosttest::HostTest;
using hosttest::writeText;

namespace {

using ImageFiles = HostTest;

GreyImage gradient(int w, int h) {
    GreyImage g(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) g.at(x, y) = std::uint8_t(x * 10 + y);
    return g;
}

}  // namespace

TEST_F(ImageFiles, BinaryPgmComesBackByteForByteWithItsSize) {
    const GreyImage g = gradient(7, 3);
    writePgm(path("g.pgm"), g);
    const GreyImage back = readImage(path("g.pgm"));
    EXPECT_EQ(back.width, 7);
    EXPECT_EQ(back.height, 3);
    EXPECT_EQ(back.pixels, g.pixels);
    EXPECT_EQ(back.at(3, 2), 32);  // byte x + width*y
    EXPECT_EQ(probeImage(path("g.pgm")).width, 7);
}

TEST_F(ImageFiles, PlainAndSixteenBitPgmAreRescaledToEightBits) {
    writeText(path("plain.pgm"), "P2\n# comment\n3 1\n15\n0 15 5\n");
    EXPECT_EQ(readImage(path("plain.pgm")).pixels, (std::vector<std::uint8_t>{0, 255, 85}));
    writeText(path("deep.pgm"), std::string("P5 2 1 65535\n\xff\xff\x80\x00", 17));
    EXPECT_EQ(readImage(path("deep.pgm")).pixels, (std::vector<std::uint8_t>{255, 128}));
}

TEST_F(ImageFiles, ColourPngBecomesGreyByLuma) {
    const std::uint8_t rgb[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 200, 200, 200};
    ASSERT_TRUE(stbi_write_png(path("c.png").c_str(), 4, 1, 3, rgb, 12));
    const GreyImage g = readImage(path("c.png"));
    ASSERT_EQ(g.width, 4);
    // stb's weights are 77, 150 and 29 out of 256.
    EXPECT_EQ(g.pixels, (std::vector<std::uint8_t>{76, 149, 28, 200}));
}

TEST_F(ImageFiles, BrokenFilesFailWithTheirNameAndTheReason) {
    auto message = [](const std::string& p) {
        try {
            readImage(p);
        } catch (const std::runtime_error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_NE(message(path("absent.png")).find("absent.png: No such file"), std::string::npos);
    writeText(path("short.pgm"), "P5 4 4 255\nabc");
    EXPECT_NE(message(path("short.pgm")).find("truncated"), std::string::npos);
    writeText(path("text.png"), "hello, not an image");
    EXPECT_NE(message(path("text.png")).find("text.png: not a readable image"), std::string::npos);
    writeText(path("zero.pgm"), "P5 0 4 255\n");
    EXPECT_NE(message(path("zero.pgm")).find("unsupported PGM size"), std::string::npos);
    writeText(path("over.pgm"), "P2 1 1 10 11\n");
    EXPECT_NE(message(path("over.pgm")).find("above the maximum"), std::string::npos);
}

TEST_F(ImageFiles, RawFramesEndCleanlyOnlyOnAFrameBoundary) {
    writeText(path("raw"), "abcdefgh");
    std::FILE* f = std::fopen(path("raw").c_str(), "rb");
    RawFrameReader whole(f, "raw", {2, 2});
    GreyImage frame;
    EXPECT_TRUE(whole.next(frame));
    EXPECT_EQ(frame.at(1, 1), 'd');
    EXPECT_TRUE(whole.next(frame));
    EXPECT_FALSE(whole.next(frame));
    std::fclose(f);

    f = std::fopen(path("raw").c_str(), "rb");
    RawFrameReader cut(f, "raw", {3, 2});
    EXPECT_TRUE(cut.next(frame));
    EXPECT_THROW(cut.next(frame), std::runtime_error);
    std::fclose(f);
}
