#include "tracker/components/lost_state.hpp"

#include <cmath>
#include <sstream>

namespace track {

std::string lostState::verdict(double score) const {
    if (!on() || !(score < threshold)) return {};
    std::ostringstream why;
    why << "match score " << score << " below " << threshold;
    return why.str();
}

double matchScore(const mlx::matrix<double>& difference) {
    if (difference.empty()) return std::nan("");
    double squares = 0.0;
    for (std::size_t m = 0; m < difference.numel(); ++m) squares += difference(m) * difference(m);
    return 1.0 - 0.5 * squares;
}

}  // namespace track
