// The Python package's compiled part, quadtrack._core: the tracker core over numpy frames (grey,
// BGR or BGRA as OpenCV gives them), returning its corners in double precision.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <string>

#include "host/geometry.hpp"
#include "host/score.hpp"
#include "host/sequence.hpp"
#include "mlx/tool/exception.hpp"
#include "tracker/components/keys.hpp"
#include "tracker/components/session.hpp"

namespace py = pybind11;

namespace {

std::string typeName(const py::handle& h) { return py::str(py::type::handle_of(h).attr("__name__")); }

// A uint8 array of any strides, 2-D grey or 3-D (height, width, channels) with 1, 3 (BGR, OpenCV's
// order) or 4 (BGRA) channels, copied into the line-after-line grey layout the tracker reads.
// Colour becomes grey as OpenCV's cvtColor(..., COLOR_BGR2GRAY) makes it: the same fixed-point
// weights (0.299 R + 0.587 G + 0.114 B in 15 bits, OpenCV 4's) and rounding, so the grey levels
// are OpenCV's to the level.
host::GreyImage greyFrame(const py::handle& obj, const char* name) {
    if (!py::isinstance<py::array>(obj))
        throw py::type_error(std::string(name) + ": expected a numpy array of uint8, got " + typeName(obj));
    const auto a = py::reinterpret_borrow<py::array>(obj);
    if (!py::isinstance<py::array_t<std::uint8_t>>(obj))
        throw py::type_error(std::string(name) + ": expected dtype uint8, got " + std::string(py::str(a.dtype())));
    const py::ssize_t channels = a.ndim() == 3 ? a.shape(2) : 1;
    if (a.ndim() != 2 && !(a.ndim() == 3 && (channels == 1 || channels == 3 || channels == 4)))
        throw py::value_error(std::string(name) + ": expected a 2-D grey array (height, width) or a 3-D colour one " +
                              "(height, width, 3 or 4) in OpenCV's BGR or BGRA order, got shape " +
                              std::string(py::str(py::tuple(a.attr("shape")))));
    const py::ssize_t h = a.shape(0), w = a.shape(1);
    if (h == 0 || w == 0 || h > INT_MAX / w)
        throw py::value_error(std::string(name) + ": a frame of " + std::to_string(h) + " x " + std::to_string(w) +
                              " pixels cannot be tracked");
    host::GreyImage out{int(w), int(h)};
    const auto* base = static_cast<const std::uint8_t*>(a.data());
    const py::ssize_t sy = a.strides(0), sx = a.strides(1), sc = a.ndim() == 3 ? a.strides(2) : 0;
    auto* dst = out.pixels.data();
    for (py::ssize_t y = 0; y < h; ++y) {
        const std::uint8_t* line = base + y * sy;
        if (channels < 3) {
            for (py::ssize_t x = 0; x < w; ++x) *dst++ = line[x * sx];
            continue;
        }
        for (py::ssize_t x = 0; x < w; ++x) {
            const std::uint8_t* p = line + x * sx;
            *dst++ = std::uint8_t((p[0] * 3735u + p[sc] * 19235u + p[2 * sc] * 9798u + (1u << 14)) >> 15);
        }
    }
    return out;
}

// An array of numbers (any numeric dtype), None refused (numpy would read it as a NaN scalar).
py::array_t<double> numbers(const py::handle& obj, const char* name, const char* expected) {
    const bool refused = obj.is_none() || py::isinstance<py::str>(obj) || py::isinstance<py::bytes>(obj);
    const auto a = refused ? py::array_t<double>() : py::array_t<double, py::array::forcecast>::ensure(obj);
    if (refused || !a) throw py::type_error(std::string(name) + ": expected " + expected + ", got " + typeName(obj));
    return a;
}

// Every coordinate finite and within the 32-bit range of the frames' pixel positions.
double coordinate(double x, const char* name) {
    if (!(std::fabs(x) < 2147483648.0))
        throw py::value_error(std::string(name) + ": expected finite pixel coordinates within 32-bit range, got " +
                              std::string(py::str(py::float_(x))));
    return x;
}

// Four (x, y) corners in order around the region, sub-pixel or whole: shape (4, 2), or (4, 1, 2)
// and (1, 4, 2) as OpenCV's contour functions give them.
host::Quad cornersArgument(const py::handle& obj) {
    const auto given = numbers(obj, "corners", "4 x 2 numbers (x, y)");
    const auto shape = [&] { return std::string(py::str(py::tuple(given.attr("shape")))); };
    const bool opencv = given.ndim() == 3 && given.shape(2) == 2 &&
                        ((given.shape(0) == 4 && given.shape(1) == 1) || (given.shape(0) == 1 && given.shape(1) == 4));
    if (!(given.ndim() == 2 && given.shape(0) == 4 && given.shape(1) == 2) && !opencv)
        throw py::value_error("corners: expected shape (4, 2), (4, 1, 2) or (1, 4, 2), got " + shape());
    const auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(given.attr("reshape")(4, 2));
    host::Quad q;
    const auto v = a.unchecked<2>();
    for (int c = 0; c < 4; ++c) q[std::size_t(c)] = {coordinate(v(c, 0), "corners"), coordinate(v(c, 1), "corners")};
    return q;
}

// A box (x, y, w, h) as cv2.selectROI and cv2.boundingRect give it: the corners (x, y), (x + w, y),
// (x + w, y + h), (x, y + h), the outline cv2.rectangle draws from (x, y) to (x + w, y + h).
host::Quad boxArgument(const py::handle& obj) {
    const auto a = numbers(obj, "box", "(x, y, w, h)");
    if (a.ndim() != 1 || a.shape(0) != 4)
        throw py::value_error("box: expected (x, y, w, h), got shape " + std::string(py::str(py::tuple(a.attr("shape")))));
    const auto v = a.unchecked<1>();
    const double x = coordinate(v(0), "box"), y = coordinate(v(1), "box");
    if (!(v(2) > 0 && v(3) > 0))
        throw py::value_error("box: expected a positive width and height, got " + std::string(py::str(py::float_(v(2)))) +
                              " x " + std::string(py::str(py::float_(v(3)))));
    const double r = coordinate(x + v(2), "box"), b = coordinate(y + v(3), "box");
    return {host::Point{x, y}, host::Point{r, y}, host::Point{r, b}, host::Point{x, b}};
}

// The region from exactly one of corners and box, refused where the command-line host refuses it.
host::Quad regionArgument(const py::object& corners, const py::object& box) {
    if (corners.is_none() == box.is_none())
        throw py::type_error(corners.is_none() ? "expected the region as corners=... or box=(x, y, w, h)"
                                               : "expected the region as corners or as box, not both");
    const host::Quad q = box.is_none() ? cornersArgument(corners) : boxArgument(box);
    if (!host::isConvex(q))
        throw py::value_error(std::string(box.is_none() ? "corners" : "box") +
                              ": the corners must go around a convex region with non-zero area, listed in order "
                              "around it");
    return q;
}

std::string methodArgument(const py::handle& obj) {
    if (!py::isinstance<py::str>(obj)) throw py::type_error("method: expected a str, got " + typeName(obj));
    std::string name = py::str(obj);
    for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (name != "jd" && name != "jdk" && name != "rvm")
        throw py::value_error("method: expected \"jd\", \"jdk\" or \"rvm\", got \"" + std::string(py::str(obj)) + "\"");
    return name;
}

// A toolkit error as the tracker raises a refused value: the same report, the key at fault named.
[[noreturn]] void refuseKey(const std::string& key, const std::string& text, const char* kind) {
    MLX_RAISE("configuration key \"" << key << "\": \"" << text << "\" is not " << kind);
}

// The text of an integer key's value: digits alone, or a float of whole value ("100.0" reads as
// 100); anything else is refused as the tracker refuses a text that is no unsigned integer, where
// the file's reading would stop at "100.5"'s point and take 100.
std::string wholeNumber(const std::string& key, const std::string& text) {
    static const std::regex whole(R"(\s*\+?([0-9]+)(\.0*)?\s*)");
    std::smatch m;
    if (!std::regex_match(text, m, whole)) refuseKey(key, text, "an unsigned integer");
    return m[1].str();
}

// The keyword arguments as the lines of a configuration file would give them.
ini::INIParser configuration(const std::string& method, const py::kwargs& settings) {
    ini::INIParser config;
    config.set("tracker", method);
    for (const auto& item : settings) {
        const std::string key = py::str(item.first);
        const py::handle value = item.second;
        const auto& table = track::keys::all();
        const bool known = key != "tracker" && std::any_of(table.begin(), table.end(),
                                                           [&](const track::keys::key& k) { return key == k.name; });
        if (!known) throw py::type_error("Tracker() got an unexpected keyword argument '" + key + "'");
        const bool count = track::keys::find(key).kind == track::keys::type::count;
        std::string text;
        if (py::isinstance<py::str>(value))
            text = py::str(value);
        else if (PyBool_Check(value.ptr()))
            throw py::type_error(key + ": expected a number or a str, got bool");
        else if (PyIndex_Check(value.ptr()))
            text = py::str(py::int_(py::reinterpret_borrow<py::object>(value)));
        else if (PyFloat_Check(value.ptr()) || py::hasattr(value, "__float__"))
            text = py::repr(py::float_(py::reinterpret_borrow<py::object>(value)));
        else
            throw py::type_error(key + ": expected a number or a str, got " + typeName(value));
        // An integer key takes a whole number only: the file's reading would stop at "100.5"'s point.
        if (count) text = wholeNumber(key, text);
        config.set(key, text);
    }
    return config;
}

// Every key the method reads, with the value in effect (the default when absent), read as the
// tracker reads it, so a refused value fails here with the tracker's own message.
py::dict effectiveConfiguration(const ini::INIParser& config) {
    py::dict out;
    for (const auto& s : track::keys::effective(config)) {
        if (s.which->kind == track::keys::type::text)
            out[s.which->name] = s.text;
        else if (s.which->kind == track::keys::type::count)
            out[s.which->name] = static_cast<unsigned>(s.value);
        else
            out[s.which->name] = s.value;
    }
    return out;
}

// The configuration keys a Tracker takes, with their help, from the one table of keys.
std::string keysHelp() {
    std::string text;
    for (const auto& k : track::keys::all()) {
        if (std::string(k.name) == "tracker") continue;
        text += std::string("  ") + k.name + ": " + k.help + "\n";
    }
    return text;
}

py::array_t<double> cornersArray(const host::Quad& corners) {
    py::array_t<double> out({4, 2});
    auto o = out.mutable_unchecked<2>();
    for (py::ssize_t c = 0; c < 4; ++c) {
        o(c, 0) = corners[std::size_t(c)].x;
        o(c, 1) = corners[std::size_t(c)].y;
    }
    return out;
}

// The corners as the core takes them: 3 x 4, column j = (x_j, y_j, 1), sub-pixel as given.
mlx::matrix<double, 12> selection(const host::Quad& corners) {
    mlx::matrix<double, 12> out(3, 4);
    for (std::size_t j = 0; j < 4; ++j) {
        out(0, j) = corners[j].x;
        out(1, j) = corners[j].y;
        out(2, j) = 1.0;
    }
    return out;
}

class Tracker {
public:
    Tracker(const host::GreyImage& first, const host::Quad& corners, ini::INIParser config, std::string method)
        : method_(std::move(method)), config_(std::move(config)) {
        learn(first, corners);
    }

    // Learns the region anew on frame (of any size), in place of the one learned before, which stays
    // when this fails.
    void init(const host::GreyImage& first, const host::Quad& corners) {
        const std::lock_guard<std::mutex> lock(busy_);
        learn(first, corners);
    }

    py::tuple track(const py::object& frame) {
        const Step s = follow(frame);
        return py::make_tuple(cornersArray(s.corners), s.score);
    }

    py::tuple update(const py::object& frame) {
        const Step s = follow(frame);
        return py::make_tuple(!s.lost, cornersArray(s.corners));
    }

    const std::string& method() const { return method_; }
    double learningTime() const { return tracker_->learningTime(); }
    unsigned frames() const { return frames_; }
    bool lost() const { return lost_; }

    std::string repr() const {
        char size[64];
        std::snprintf(size, sizeof size, "%.1fx%.1f", regionWidth_, regionHeight_);
        return "<quadtrack.Tracker method=" + method_ + " region=" + size + " frames=" + std::to_string(frames_) +
               " lost=" + (lost_ ? "True" : "False") + ">";
    }

    // Set once the GIL is held again: a dict cannot be made while learning runs without it.
    py::object config;

private:
    struct Step {
        host::Quad corners;
        double score;
        bool lost;
    };

    void learn(const host::GreyImage& first, const host::Quad& corners) {
        mlx::matrix<unsigned char> image;
        image.assign(first.pixels.data(), std::size_t(first.width), std::size_t(first.height));
        auto tracker = std::make_unique<track::session>(selection(corners), config_, image);
        // Learned: the tracker takes the new region from here on.
        tracker_ = std::move(tracker);
        image_ = std::move(image);
        width_ = first.width;
        height_ = first.height;
        corners_ = corners;
        score_.emplace(first, corners);
        double lo[2] = {corners[0].x, corners[0].y}, hi[2] = {corners[0].x, corners[0].y};
        for (const host::Point& c : corners) {
            lo[0] = std::min(lo[0], c.x), hi[0] = std::max(hi[0], c.x);
            lo[1] = std::min(lo[1], c.y), hi[1] = std::max(hi[1], c.y);
        }
        regionWidth_ = hi[0] - lo[0];
        regionHeight_ = hi[1] - lo[1];
        frames_ = 0;
        lost_ = false;
    }

    // A lost frame is no error: its corners are those held, which the next frame starts from.
    Step follow(const py::object& frame) {
        const host::GreyImage grey = greyFrame(frame, "frame");
        py::gil_scoped_release release;
        // One tracker follows one frame at a time, whichever threads call it.
        const std::lock_guard<std::mutex> lock(busy_);
        if (grey.width != width_ || grey.height != height_)
            throw py::value_error("frame: expected shape (" + std::to_string(height_) + ", " + std::to_string(width_) +
                                  ") as frame0, got (" + std::to_string(grey.height) + ", " +
                                  std::to_string(grey.width) + ")");
        image_.assign(grey.pixels.data(), std::size_t(width_), std::size_t(height_));
        const track::frameResult& r = tracker_->run(image_);
        for (std::size_t j = 0; j < 4; ++j) corners_[j] = {r.corners(0, j), r.corners(1, j)};
        lost_ = r.lost();
        if (!r.lost()) ++frames_;
        return {corners_, (*score_)(grey, corners_), r.lost()};
    }

    std::string method_;
    ini::INIParser config_;
    int width_ = 0, height_ = 0;
    double regionWidth_ = 0.0, regionHeight_ = 0.0;
    mlx::matrix<unsigned char> image_;
    std::unique_ptr<track::session> tracker_;
    std::optional<host::RegionScore> score_;
    host::Quad corners_;
    std::atomic<unsigned> frames_{0};
    std::atomic<bool> lost_{false};
    std::mutex busy_;
};

std::unique_ptr<Tracker> makeTracker(const py::object& frame0, const py::object& corners, const py::object& method,
                                     const py::object& box, const py::kwargs& settings) {
    const host::GreyImage first = greyFrame(frame0, "frame0");
    const host::Quad quad = regionArgument(corners, box);
    const std::string name = methodArgument(method);
    ini::INIParser config = configuration(name, settings);
    py::dict effective = effectiveConfiguration(config);
    std::unique_ptr<Tracker> t;
    {
        py::gil_scoped_release release;
        t = std::make_unique<Tracker>(first, quad, std::move(config), name);
    }
    t->config = std::move(effective);
    return t;
}

void initTracker(Tracker& t, const py::object& frame, const py::object& corners, const py::object& box) {
    const host::GreyImage first = greyFrame(frame, "frame");
    const host::Quad quad = regionArgument(corners, box);
    py::gil_scoped_release release;
    t.init(first, quad);
}

// The configuration key a toolkit message names first ("configuration key \"plans\": ..."), if any.
py::object keyOf(const std::string& message) {
    static const std::regex named(R"(configuration keys? \"([^\"]+)\")");
    std::smatch m;
    if (std::regex_search(message, m, named)) return py::str(m[1].str());
    return py::none();
}

py::tuple demoSequence(int frames) {
    if (frames < 1) throw py::value_error("frames: expected at least 1, got " + std::to_string(frames));
    host::SequenceOptions options;
    options.frames = frames;
    const host::Sequence sequence(options);
    py::array_t<std::uint8_t> pictures({py::ssize_t(frames), py::ssize_t(options.height), py::ssize_t(options.width)});
    py::array_t<double> truth({py::ssize_t(frames), py::ssize_t(4), py::ssize_t(2)});
    auto* pixels = pictures.mutable_data();
    auto t = truth.mutable_unchecked<3>();
    for (int k = 0; k < frames; ++k) {
        const host::GreyImage f = sequence.frame(k);
        pixels = std::copy(f.pixels.begin(), f.pixels.end(), pixels);
        const host::Quad q = sequence.truth(k);
        for (py::ssize_t c = 0; c < 4; ++c) {
            t(k, c, 0) = q[std::size_t(c)].x;
            t(k, c, 1) = q[std::size_t(c)].y;
        }
    }
    return py::make_tuple(pictures, truth);
}

}  // namespace

PYBIND11_MODULE(_core, m) {
    m.doc() = "The compiled part of the quadtrack package; import quadtrack.";
    m.attr("__version__") = QUADTRACK_VERSION;
    // Error's text is the plain message; .key names the configuration key at fault (None when no
    // key is), .report holds the toolkit's full report.
    static py::exception<mlx::tool::generalException> error(m, "Error", PyExc_RuntimeError);
    error.attr("__module__") = "quadtrack";
    error.attr("__doc__") =
        "A value the tracker refuses, a region it cannot learn, a frame it cannot track (with lost=0).\n\n"
        "str(e) is the plain message; e.key is the configuration key at fault (None when no key is);\n"
        "e.report is the toolkit's full report.";
    error.attr("key") = py::none();
    error.attr("report") = "";
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const mlx::tool::generalException& e) {
            py::object raised = py::reinterpret_borrow<py::object>(error)(e.message());
            raised.attr("key") = keyOf(e.message());
            raised.attr("report") = std::string(e.what());
            PyErr_SetObject(error.ptr(), raised.ptr());
        }
    });

    // Kept for the module's lifetime: the class holds a pointer to its text.
    static const std::string trackerHelp = R"(Tracker(frame0, corners=None, method="jd", *, box=None, **settings)

Learns the region outlined on frame0, then follows it frame by frame.

frame0: uint8 array of any strides, grey (height, width) or colour (height, width, 3 or 4) in
  OpenCV's BGR or BGRA order, made grey as cv2.cvtColor makes it.
corners: the 4 (x, y) corners in order around the region, sub-pixel or whole, shaped (4, 2),
  (4, 1, 2) or (1, 4, 2); they must go around a convex region.
box: (x, y, w, h) as cv2.selectROI gives it, in place of corners: the corners (x, y),
  (x + w, y), (x + w, y + h), (x, y + h).
method: "jd" (linear), "jdk" (Gaussian kernel) or "rvm" (relevance vectors).
settings: configuration keys, checked as a configuration file's values are (integer keys take
  whole numbers only):
)" + keysHelp() + R"(Raises quadtrack.Error when a value is refused or the region cannot be learned.)";
    py::class_<Tracker>(m, "Tracker", trackerHelp.c_str())
        .def(py::init(&makeTracker), py::arg("frame0"), py::arg("corners") = py::none(), py::arg("method") = "jd",
             py::kw_only(), py::arg("box") = py::none())
        .def("init", &initTracker, py::arg("frame"), py::arg("corners") = py::none(), py::kw_only(),
             py::arg("box") = py::none(),
             R"(init(frame, corners=None, *, box=None)

Learns the region anew on frame (of any size) with the same method and keys, as OpenCV's
trackers' init does: the tracker then follows it as a new one would (frames counts from 0).
When the region cannot be learned, raises and keeps the region learned before.)")
        .def("track", &Tracker::track, py::arg("frame"),
             R"(track(frame) -> (corners, score)

Follows the region onto frame (the shape of frame0, grey or colour). corners: float64 (4, 2)
array of (x, y); score: zero-mean normalised correlation of the region with the first one, near 1
while the track holds, near 0 once lost. When the region is lost on frame (see lost), corners are
those of the last tracked frame, held: the next frame is tracked from them. Raises quadtrack.Error
for what the tracker does not take as a lost frame (with lost=0, a uniform frame).)")
        .def("update", &Tracker::update, py::arg("frame"),
             R"(update(frame) -> (ok, corners)

track(frame) as OpenCV's trackers answer: ok is False when the region is lost on frame, and
corners, float64 (4, 2), are then those held from the last tracked frame.)")
        .def("__repr__", &Tracker::repr)
        .def_property_readonly("method", &Tracker::method, "The tracking method: jd, jdk or rvm.")
        .def_property_readonly("learning_time", &Tracker::learningTime, "Seconds spent learning the region.")
        .def_property_readonly("frames", &Tracker::frames, "Frames tracked so far; lost frames are not counted.")
        .def_property_readonly("lost", &Tracker::lost,
                               "Whether the region was lost on the last frame, whose corners are those held.")
        .def_property_readonly(
            "config", [](const Tracker& t) { return t.config.attr("copy")(); },
            "Every key the method reads, with the value in effect (the default when not given).");

    m.def("demo_sequence", &demoSequence, py::arg("frames") = 300,
          R"(demo_sequence(frames=300) -> (frames, truth)

The demo's synthetic sequence: a textured plane moving over a textured background, uint8 frames
(frames, 240, 320) and their true corners, float64 (frames, 4, 2); those of frame 0 are whole pixels.)");
}
