#ifndef TRACKER_COMPONENTS_KEYS_HPP
#define TRACKER_COMPONENTS_KEYS_HPP

#include <array>
#include <string>
#include <vector>

#include "tracker/iniparser.hpp"
#include "tracker/tracker.hpp"

namespace track::keys {

enum class type { text, count, number };

// One configuration key, as every reader, the Python module's settings and help, the README and
// "tracker.ini" state it.
struct key {
    const char* name;
    type kind;
    // The default each method reads (indexed by tracker::enumTrackerType); NaN where the method
    // does not read the key. A text key's default is `text`.
    std::array<double, 3> byMethod;
    const char* text;
    // The values accepted: [lowest, highest], or [lowest, highest) when `open`.
    double lowest, highest;
    bool open;
    // Read only while "extensions" is on.
    bool extension;
    const char* help;

    bool readBy(tracker::enumTrackerType method) const;
};

// Every key, in the order the README and "tracker.ini" list them.
const std::vector<key>& all();
// The key of this name; a toolkit error for a name not in the table.
const key& find(const std::string& name);

// Whether the configuration keeps the extensions on ("extensions", 1 when absent).
bool extensionsOn(const ini::INIParser& config);
// A number key's value as the method reads it: the default when absent; a toolkit error naming
// the key for a text that is not a number of its type, or a value out of its bounds.
double read(const ini::INIParser& config, const key& k, tracker::enumTrackerType method);
double read(const ini::INIParser& config, const char* name, tracker::enumTrackerType method);
// The method a configuration selects, by the names of the "tracker" key.
tracker::enumTrackerType method(const ini::INIParser& config);
// The name of a method: "jd", "jdk" or "rvm".
const char* methodName(tracker::enumTrackerType method);

// The keys the method reads under this configuration (the extension keys only while they are
// on), with the value each is read as: text keys as their text, the others as numbers.
struct setting {
    const key* which;
    std::string text;
    double value;
};
std::vector<setting> effective(const ini::INIParser& config);

}  // namespace track::keys

#endif
