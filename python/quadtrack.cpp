// The Python module: the tracker core over numpy frames, returning its corners in double precision.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "host/score.hpp"
#include "host/sequence.hpp"
#include "mlx/tool/exception.hpp"
#include "tracker/components/keys.hpp"
#include "tracker/components/session.hpp"

namespace py = pybind11;

namespace {

std::string typeName(const py::handle& h) { return py::str(py::type::handle_of(h).attr("__name__")); }

// A 2-D uint8 array of any strides, copied into the line-after-line layout the tracker reads.
host::GreyImage greyFrame(const py::handle& obj, const char* name) {
    if (!py::isinstance<py::array>(obj))
        throw py::type_error(std::string(name) + ": expected a numpy array of uint8, got " + typeName(obj));
    const auto a = py::reinterpret_borrow<py::array>(obj);
    if (!py::isinstance<py::array_t<std::uint8_t>>(obj))
        throw py::type_error(std::string(name) + ": expected dtype uint8, got " + std::string(py::str(a.dtype())));
    if (a.ndim() != 2)
        throw py::value_error(std::string(name) + ": expected a 2-D array (height, width), got " +
                              std::to_string(a.ndim()) + " dimensions");
    const py::ssize_t h = a.shape(0), w = a.shape(1);
    if (h == 0 || w == 0 || h > INT_MAX / w)
        throw py::value_error(std::string(name) + ": a frame of " + std::to_string(h) + " x " + std::to_string(w) +
                              " pixels cannot be tracked");
    host::GreyImage out{int(w), int(h)};
    const auto* base = static_cast<const std::uint8_t*>(a.data());
    const py::ssize_t sy = a.strides(0), sx = a.strides(1);
    auto* dst = out.pixels.data();
    for (py::ssize_t y = 0; y < h; ++y) {
        const std::uint8_t* line = base + y * sy;
        for (py::ssize_t x = 0; x < w; ++x) *dst++ = line[x * sx];
    }
    return out;
}

// Four (x, y) corners in whole pixels, as the tracker learns them.
host::Quad cornersArgument(const py::handle& obj) {
    // numpy would read None as a NaN scalar.
    const auto a = obj.is_none() ? py::array_t<double>() : py::array_t<double, py::array::forcecast>::ensure(obj);
    if (obj.is_none() || !a) throw py::type_error("corners: expected 4 x 2 numbers (x, y), got " + typeName(obj));
    if (a.ndim() != 2 || a.shape(0) != 4 || a.shape(1) != 2)
        throw py::value_error("corners: expected shape (4, 2), got " + std::string(py::str(py::tuple(a.attr("shape")))));
    host::Quad q;
    const auto v = a.unchecked<2>();
    for (int c = 0; c < 4; ++c)
        for (int i = 0; i < 2; ++i) {
            const double x = v(c, i);
            if (!(x == std::floor(x) && std::fabs(x) < 2147483648.0))
                throw py::value_error("corners: expected whole pixels within 32-bit range, got " +
                                      std::string(py::str(py::float_(x))));
            (i == 0 ? q[std::size_t(c)].x : q[std::size_t(c)].y) = x;
        }
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

class Tracker {
public:
    Tracker(host::GreyImage first, const host::Quad& corners, const ini::INIParser& config, std::string method)
        : method_(std::move(method)), width_(first.width), height_(first.height), corners_(corners) {
        mlx::matrix<int, 12> selection(3, 4);
        for (std::size_t j = 0; j < 4; ++j) {
            selection(0, j) = int(corners[j].x);
            selection(1, j) = int(corners[j].y);
            selection(2, j) = 1;
        }
        image_.assign(first.pixels.data(), std::size_t(width_), std::size_t(height_));
        tracker_ = std::make_unique<track::session>(selection, config, image_);
        score_.emplace(first, corners);
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

    // Set once the GIL is held again: a dict cannot be made while learning runs without it.
    py::object config;

private:
    struct Step {
        host::Quad corners;
        double score;
        bool lost;
    };

    // A lost frame is no error: its corners are those held, which the next frame starts from.
    Step follow(const py::object& frame) {
        const host::GreyImage grey = greyFrame(frame, "frame");
        if (grey.width != width_ || grey.height != height_)
            throw py::value_error("frame: expected shape (" + std::to_string(height_) + ", " + std::to_string(width_) +
                                  ") as frame0, got (" + std::to_string(grey.height) + ", " +
                                  std::to_string(grey.width) + ")");
        py::gil_scoped_release release;
        // One tracker follows one frame at a time, whichever threads call it.
        const std::lock_guard<std::mutex> lock(busy_);
        image_.assign(grey.pixels.data(), std::size_t(width_), std::size_t(height_));
        const track::frameResult& r = tracker_->run(image_);
        for (std::size_t j = 0; j < 4; ++j) corners_[j] = {r.corners(0, j), r.corners(1, j)};
        lost_ = r.lost();
        if (!r.lost()) ++frames_;
        return {corners_, (*score_)(grey, corners_), r.lost()};
    }

    std::string method_;
    int width_, height_;
    mlx::matrix<unsigned char> image_;
    std::unique_ptr<track::session> tracker_;
    std::optional<host::RegionScore> score_;
    host::Quad corners_;
    std::atomic<unsigned> frames_{0};
    std::atomic<bool> lost_{false};
    std::mutex busy_;
};

std::unique_ptr<Tracker> makeTracker(const py::object& frame0, const py::object& corners, const py::object& method,
                                     const py::kwargs& settings) {
    host::GreyImage first = greyFrame(frame0, "frame0");
    const host::Quad quad = cornersArgument(corners);
    const std::string name = methodArgument(method);
    const ini::INIParser config = configuration(name, settings);
    py::dict effective = effectiveConfiguration(config);
    std::unique_ptr<Tracker> t;
    {
        py::gil_scoped_release release;
        t = std::make_unique<Tracker>(std::move(first), quad, config, name);
    }
    t->config = std::move(effective);
    return t;
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

PYBIND11_MODULE(quadtrack, m) {
    m.doc() = "Follows a four-cornered planar region through grey-level video, with sub-pixel corners.";
    py::register_exception<mlx::tool::generalException>(m, "Error", PyExc_RuntimeError);

    // Kept for the module's lifetime: the class holds a pointer to its text.
    static const std::string trackerHelp = R"(Tracker(frame0, corners, method="jd", **settings)

Learns the region outlined by corners on frame0, then follows it frame by frame.

frame0: 2-D uint8 array (height, width), any strides.
corners: 4 x 2 whole-pixel (x, y) corners in order around the region.
method: "jd" (linear), "jdk" (Gaussian kernel) or "rvm" (relevance vectors).
settings: configuration keys, checked as a configuration file's values are:
)" + keysHelp() + R"(Raises quadtrack.Error when a value is refused or the region cannot be learned.)";
    py::class_<Tracker>(m, "Tracker", trackerHelp.c_str())
        .def(py::init(&makeTracker), py::arg("frame0"), py::arg("corners"), py::arg("method") = "jd")
        .def("track", &Tracker::track, py::arg("frame"),
             R"(track(frame) -> (corners, score)

Follows the region onto frame (the shape of frame0). corners: float64 (4, 2) array of (x, y);
score: zero-mean normalised correlation of the region with the first one, near 1 while the
track holds, near 0 once lost. When the region is lost on frame (see lost), corners are those
of the last tracked frame, held: the next frame is tracked from them. Raises quadtrack.Error
for what the tracker does not take as a lost frame (with lost=0, a uniform frame).)")
        .def("update", &Tracker::update, py::arg("frame"),
             R"(update(frame) -> (ok, corners)

track(frame) as OpenCV's trackers answer: ok is False when the region is lost on frame, and
corners, float64 (4, 2), are then those held from the last tracked frame.)")
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
