// The configuration reader on arbitrary file contents, then every numeric reader on every key.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mlx/tool/exception.hpp"
#include "tracker/iniparser.hpp"

namespace {

std::string path;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char dir[] = "/tmp/iniparser_fuzz_XXXXXX";
    if (mkdtemp(dir) == nullptr) std::abort();
    path = std::string(dir) + "/tracker.ini";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    ini::INIParser parser;
    if (!parser.read(path)) std::abort();
    for (const auto& field : parser) {
        if (parser.getFieldValue(field.first) != field.second) std::abort();
        try {
            ini::readUnsigned(parser, field.first, 0);
        } catch (const mlx::tool::generalException&) {
        }
        try {
            ini::readDouble(parser, field.first, 0.0);
        } catch (const mlx::tool::generalException&) {
        }
        ini::readChar(parser, field.first, ' ');
    }
    return 0;
}
