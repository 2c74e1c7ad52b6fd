#ifndef TRACKER_EXTENSIONS_HPP
#define TRACKER_EXTENSIONS_HPP

#include "tracker/iniparser.hpp"

namespace track {

// Behaviour added to the hyperplane tracker, each part switched by its own configuration key.
// "extensions = 0" switches every part off and restores the plain method with its own defaults:
// the same models and corners, bit for bit.
struct extensions {
    static constexpr double defaultPredict = 0.5;
    static constexpr double defaultRobust = 0.0;
    static constexpr double defaultLost = 0.1;
    static constexpr double defaultSensor = 8.0;
    static constexpr double defaultOcclusion = 3.0;
    static constexpr double defaultBinning = 4.0;
    static constexpr unsigned defaultSettle = 10;

    // "predict": each frame starts from the corners extrapolated from the last two frames, moved
    // on by this share of their motion (1: constant velocity), so the models see only the change
    // of motion, not the motion itself. 0: off.
    double predict = 0.0;
    // "robust": residuals beyond this many robust standard deviations of the pattern difference
    // are outliers (occluders, clipped or saturated pixels): they are set to zero, and the pattern
    // is normalised on the other samples only. Applied alike to training and tracking. 0: off.
    double robust = 0.0;
    // "lost": a frame whose match score (correlation of the tracked and reference patterns) falls
    // below this ends with "the region was lost" and the previous corners are kept; tracking
    // resumes from them on the next frame. 0: off.
    double lost = 0.0;
    // "sensor": deviation, in grey levels, of the sensor noise the linear models are learned to
    // withstand: ridge regression, as if every training pattern carried such noise. 0: off.
    double sensor = 0.0;
    // "clipping": samples at either end of the grey scale are clipped: the pattern is matched on
    // the others; a white one only bounds the light it saw and differs from the reference by what
    // exceeds the bound, a black one (the frame reads black off its edges) is left out. 0: off.
    bool clipping = false;
    // "occlusion" (jd): samples whose residual at the end of a frame's steps lies beyond this many
    // robust standard deviations, in blobs, are taken as hidden: the frame is tracked again, and
    // the next one, with the linear models refitted without them. 0: off.
    double occlusion = 0.0;
    // "binning": a region whose sample points lie at least this many pixels apart is read from
    // the frames binned 2 x 2 (each pixel the mean of four): half the sensor noise in every
    // sample, and fine texture averaged rather than aliased by the coarse grid. A region with
    // many levels near either end of the scale is not binned: a mean of clipped and unclipped
    // pixels would pass for a true level. 0: off.
    double binning = 0.0;
    // "settle": on a frame with no motion history (the first after learning or a restart, the
    // first after a lost one) a level whose last step still moved a corner by more than a tenth
    // of the level's range steps on, up to this many steps in all: a start far off needs more
    // than "iter" steps to come within the next level's reach. Other frames start from the
    // prediction, close by. Not above "iter": off.
    unsigned settle = 0;
    bool enabled = false;

    static extensions read(const ini::INIParser& ini);
};

}  // namespace track

#endif
