#ifndef TRACKER_TRACKDHOME_HPP
#define TRACKER_TRACKDHOME_HPP

#include <cstddef>
#include <vector>

#include "tracker/appDhome.hpp"
#include "tracker/tracker.hpp"

namespace track {

// Tracker of the linear method "jd": the motion is the pattern difference times the level's
// linear model. With the "occlusion" extension, samples that end a pass as outliers, in blobs, are
// taken as hidden: the frame is tracked again and the next one starts without them, with the
// models refitted on the other samples.
class trackDhome : public tracker {
public:
    trackDhome(const mlx::matrix<int, 12>& corners, const ini::INIParser& ini, const mlx::matrix<unsigned char>& image);

    void trackstep(const unsigned& k, mlx::matrix<double>& corners, mlx::geometry::homog& H,
                   const mlx::matrix<unsigned char>& frame) override;

protected:
    // With the "occlusion" extension, a pass that ends with samples taken as hidden that it used
    // runs again from the frame's start without them (at most twice); a pass is kept only when it
    // matches the samples seen by both better than the one before.
    void steps(const mlx::matrix<unsigned char>& frame) override;

private:
    // The samples whose residual at the end of the last step is an outlier, in a blob, grown by
    // `growth` grid cells (none when too few or too many); true when one of them was seen.
    bool hide();
    static constexpr long growth = 2;
    // Whether the earlier pass's last samples match the reference better than the current ones,
    // on the samples seen now and unclipped in both (squared residuals, each fitted on them).
    bool earlierFitsBetter();
    // masked[k]: models[k] without the hidden samples.
    void refit();
    // Every sample seen again; false.
    bool release();

    const LearnJD* learner;
    std::vector<mlx::matrix<double>> masked;
    // Scratch, sized at construction so that a frame allocates nothing.
    std::vector<std::size_t> hidden;
    std::vector<unsigned char> outlying;
    mlx::matrix<double> fitted, residual, magnitudes, block, solution, earlierSamples, earlierPattern, earlierCorners;
};

}  // namespace track

#endif
