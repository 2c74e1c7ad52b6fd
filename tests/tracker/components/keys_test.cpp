// The one table of configuration keys against what users read: the README's key table and the
// shipped "tracker.ini" state every key with the table's default, and the keys a method reports
// are those in effect.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "../fixtures.hpp"
#include "tracker/components/keys.hpp"

namespace {

std::string fileText(const std::string& name) {
    std::ifstream in(std::string(QUADTRACK_SOURCE_DIR) + "/" + name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Whether a stated default ("8", "1.0", "`jd`", "0.1 (jd), 0.2 (jdk, rvm)") is the table's for
// every method that reads the key, or for the first that does when `first`.
bool statesDefault(std::string stated, const track::keys::key& k, bool first = false) {
    stated = std::regex_replace(stated, std::regex("`"), "");
    const auto same = [&](const std::string& value, int method) {
        if (k.kind == track::keys::type::text) return value == k.text;
        return std::stod(value) == k.byMethod[static_cast<std::size_t>(method)];
    };
    const std::regex part(R"(([^ ,()]+)(?: \(([a-z, ]+)\))?)");
    bool all = true;
    int parts = 0;
    for (std::sregex_iterator it(stated.begin(), stated.end(), part), end; it != end; ++it, ++parts)
        for (int m = 0; m < 3; ++m) {
            const auto method = static_cast<track::tracker::enumTrackerType>(m);
            const std::string methods = (*it)[2];
            const std::regex named(std::string("\\b") + track::keys::methodName(method) + "\\b");
            if (!k.readBy(method) || (!methods.empty() && !std::regex_search(methods, named))) continue;
            all = all && same((*it)[1], m);
            if (first) return all;
        }
    return all && parts > 0;
}

}  // namespace

TEST(Keys, TheReadmeAndTheShippedConfigurationStateEveryKeyWithItsDefault) {
#ifdef _WIN32
    GTEST_SKIP() << "the sources are read on the build machine";
#endif
    const std::string readme = fileText("README.md"), ini = fileText("tracker.ini");
    std::map<std::string, std::string> documented, shipped;
    const std::regex row(R"(\n\| `(\w+)` \| ([^|]*) \|)"), line(R"(\n#? ?(\w+) = ([^\s#]+))");
    for (std::sregex_iterator it(readme.begin(), readme.end(), row), end; it != end; ++it) documented[(*it)[1]] = (*it)[2];
    for (std::sregex_iterator it(ini.begin(), ini.end(), line), end; it != end; ++it) shipped[(*it)[1]] = (*it)[2];
    EXPECT_EQ(documented.size(), track::keys::all().size());
    EXPECT_EQ(shipped.size(), track::keys::all().size());
    for (const auto& k : track::keys::all()) {
        EXPECT_TRUE(documented.count(k.name) && statesDefault(documented[k.name], k)) << k.name << ": " << documented[k.name];
        EXPECT_TRUE(shipped.count(k.name) && statesDefault(shipped[k.name], k, true)) << k.name << ": " << shipped[k.name];
    }
}

// Under "extensions = 0" none of the extension keys is in effect, whatever their values; the
// kernel methods read "kernel", jd does not.
TEST(Keys, TheSettingsInEffectAreThoseTheMethodReads) {
    const auto names = [](const std::string& text) {
        std::string out;
        for (const auto& s : track::keys::effective(fixtures::config(text))) out += std::string(s.which->name) + " ";
        return out;
    };
    EXPECT_EQ(names("extensions = 0\npredict = 0.9\n"), "tracker iter nbtrack noise plans nbpoints extensions ");
    EXPECT_EQ(names("tracker = RVM\nextensions = 0\n"),
              "tracker iter nbtrack noise plans nbpoints width0 max_iter kernel extensions ");
    EXPECT_EQ(names(""), "tracker iter nbtrack noise plans nbpoints extensions predict lost robust sensor clipping "
                         "occlusion binning settle reacquire follow flat fastlearn seed ");
    std::map<std::string, track::keys::setting> read;
    for (const auto& s : track::keys::effective(fixtures::config("tracker = jdk\nkernel = x\npredict = 1\n")))
        read.emplace(s.which->name, s);
    EXPECT_EQ(read.at("tracker").text, "jdk");
    EXPECT_EQ(read.at("kernel").text, "x");
    EXPECT_EQ(read.at("predict").value, 1.0);
    EXPECT_EQ(read.at("noise").value, 0.2);
    EXPECT_THROW(track::keys::effective(fixtures::config("lost = 1\n")), mlx::tool::generalException);
}
