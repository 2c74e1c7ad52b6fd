#ifndef TESTS_TRACKER_COMPONENTS_TRACKING_HPP
#define TESTS_TRACKER_COMPONENTS_TRACKING_HPP

#include <algorithm>
#include <cmath>
#include <string>

#include "../fixtures.hpp"
#include "mlx/tool/exception.hpp"
#include "tracker/components/session.hpp"

namespace tracking {

inline const char* const kConfig = "plans = 400\nnbpoints = 225\n";

inline double worstError(const mlx::matrix<double>& corners, const synthetic::mat3& m) {
    const auto truth = synthetic::truth(m);
    double worst = 0.0;
    for (std::size_t j = 0; j < 4; ++j)
        worst = std::max(worst, std::hypot(corners(0, j) - truth[2 * j], corners(1, j) - truth[2 * j + 1]));
    return std::isfinite(worst) ? worst : 1e9;
}

// Worst corner error of a session with settings (after kConfig) over frames 1 to last, those
// before `from` left out; 1e9 once a frame is lost or refused. Frame f shows motion(f) as image(f).
template <class Image, class Motion = synthetic::mat3 (*)(int)>
double worstOver(const std::string& settings, int last, int from, Image image, Motion motion = synthetic::motion) {
    track::session t(fixtures::corners(0), fixtures::config(kConfig + settings), fixtures::frame(0));
    double worst = 0.0;
    try {
        for (int f = 1; f <= last; ++f) {
            const track::frameResult& r = t.run(image(f));
            if (r.lost()) return 1e9;
            if (f >= from) worst = std::max(worst, worstError(r.corners, motion(f)));
        }
    } catch (const mlx::tool::generalException&) {
        return 1e9;
    }
    return worst;
}

}  // namespace tracking

#endif
