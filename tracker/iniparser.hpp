#ifndef TRACKER_INIPARSER_HPP
#define TRACKER_INIPARSER_HPP

#include <map>
#include <string>

namespace ini {

// Table of key -> value texts read from configuration files of lines "key = value # comment".
// Keys are compared byte-wise and case-sensitively; the last occurrence of a key wins.
class INIParser {
public:
    using const_iterator = std::map<std::string, std::string>::const_iterator;

    INIParser(std::string comment = "#", std::string separator = "=");

    // Adds the file's keys to the table; false when the file cannot be opened.
    bool read(const std::string& fileName);
    // Sets a key as a file line "key = value" would, for hosts that hold settings in memory.
    void set(const std::string& key, const std::string& value);
    // The value text of key, or "" when the key is absent.
    std::string getFieldValue(const std::string& key) const;
    bool hasField(const std::string& key) const;

    const_iterator begin() const { return fields.begin(); }
    const_iterator end() const { return fields.end(); }

private:
    void parseLine(const std::string& line);

    std::map<std::string, std::string> fields;
    std::string comment;
    std::string separator;
};

// Numeric settings read by formatted stream extraction ("5 steps" reads 5). An absent key gives
// fallback; a present text that does not start with a number of the type (or a negative text
// for an unsigned key, which extraction would wrap) raises a toolkit error naming key and text.
unsigned readUnsigned(const INIParser& config, const std::string& key, unsigned fallback);
double readDouble(const INIParser& config, const std::string& key, double fallback);
// First non-blank character of the key's text, or fallback when it has none.
char readChar(const INIParser& config, const std::string& key, char fallback);

}  // namespace ini

#endif
