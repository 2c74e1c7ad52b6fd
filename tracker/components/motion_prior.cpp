#include "tracker/components/motion_prior.hpp"

#include <algorithm>
#include <cmath>

namespace track {

void motionPrior::start(tracker& t) const {
    if (!(predict > 0.0) || known < 2) return;
    mlx::matrix<double, 12> predicted(last);
    for (std::size_t i = 0; i < predicted.numel(); ++i) predicted(i) += predict * (last(i) - previous(i));
    t.setH(mlx::geometry::homog(t.getLearner().getUnitSquare(), predicted, true));
}

bool motionPrior::stepOn(const tracker& t, unsigned k, unsigned taken) const {
    if (known >= 2 || taken >= settle) return false;
    double moved = 0.0;
    for (std::size_t q = 0; q < 8; ++q) moved = std::max(moved, std::fabs(t.lastMotion()(q)));
    return moved > settleMotion * t.getLearner().levelRange(k);
}

void motionPrior::tracked(const mlx::matrix<double, 12>& corners) {
    previous = last;
    last = corners;
    known = std::min(known + 1, 2u);
}

void motionPrior::restart(const mlx::matrix<double, 12>& corners) {
    last = corners;
    known = 1;
}

}  // namespace track
