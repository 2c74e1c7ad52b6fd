#include "tracker/iniparser.hpp"

#include <boost/algorithm/string/trim.hpp>
#include <boost/tokenizer.hpp>

#include <cmath>
#include <fstream>
#include <sstream>
#include <type_traits>

#include "mlx/tool/exception.hpp"

namespace ini {

INIParser::INIParser(std::string comment_marker, std::string separator_chars)
    : comment(std::move(comment_marker)), separator(std::move(separator_chars)) {}

bool INIParser::read(const std::string& fileName) {
    std::ifstream file(fileName);
    if (!file) return false;
    std::string line;
    while (std::getline(file, line)) parseLine(line);
    return true;
}

// Separator bytes split and vanish, comment bytes split and stay as tokens of their own; only
// the first two tokens count. A line without a value token gives its key an empty value.
void INIParser::parseLine(const std::string& line) {
    using separator_type = boost::char_separator<char>;
    const separator_type rule(separator.c_str(), comment.c_str());
    const boost::tokenizer<separator_type> tokens(line, rule);
    auto it = tokens.begin();
    if (it == tokens.end()) return;
    std::string key = *it++;
    if (key == comment) return;
    std::string value = it == tokens.end() ? std::string() : *it;
    if (value == comment) value.clear();
    boost::algorithm::trim(key);
    boost::algorithm::trim(value);
    fields[key] = value;
}

void INIParser::set(const std::string& key, const std::string& value) {
    fields[boost::algorithm::trim_copy(key)] = boost::algorithm::trim_copy(value);
}

std::string INIParser::getFieldValue(const std::string& key) const {
    const auto found = fields.find(key);
    return found == fields.end() ? std::string() : found->second;
}

bool INIParser::hasField(const std::string& key) const { return fields.count(key) != 0; }

namespace {

template <class T>
T readNumber(const INIParser& config, const std::string& key, T fallback, const char* kind) {
    if (!config.hasField(key)) return fallback;
    const std::string text = config.getFieldValue(key);
    std::istringstream in(text);
    T value{};
    in >> value;
    bool refused = in.fail();
    if constexpr (std::is_unsigned_v<T>) {
        const auto first = text.find_first_not_of(" \t\n\v\f\r");
        refused = refused || (first != std::string::npos && text[first] == '-');
    } else {
        refused = refused || !std::isfinite(static_cast<double>(value));
    }
    if (refused)
        MLX_RAISE("configuration key \"" << key << "\": \"" << text << "\" is not " << kind);
    return value;
}

}  // namespace

unsigned readUnsigned(const INIParser& config, const std::string& key, unsigned fallback) {
    return readNumber<unsigned>(config, key, fallback, "an unsigned integer");
}

double readDouble(const INIParser& config, const std::string& key, double fallback) {
    return readNumber<double>(config, key, fallback, "a finite number");
}

char readChar(const INIParser& config, const std::string& key, char fallback) {
    std::istringstream in(config.getFieldValue(key));
    char c = fallback;
    in >> c;
    return in.fail() ? fallback : c;
}

}  // namespace ini
