#include "tracker/components/session.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <vector>

#include "mlx/tool/exception.hpp"
#include "tracker/components/keys.hpp"
#include "tracker/trackDhome.hpp"
#include "tracker/trackRVM.hpp"
#include "tracker/trackjdk.hpp"

namespace track {
namespace {

// Whether corners a and b are collinear with corner o: (a - o) x (b - o) = 0. Coordinates span
// less than 2^32, so that product, twice the area of a triangle of corners, is below 2^64 in
// magnitude: computed modulo 2^64, where unsigned arithmetic is defined, it is zero only when it is.
bool collinear(const mlx::matrix<int, 12>& c, std::size_t a, std::size_t b, std::size_t o) {
    const auto d = [&](std::size_t row, std::size_t j) {
        return static_cast<std::uint64_t>(static_cast<std::int64_t>(c(row, j)) - c(row, o));
    };
    return d(0, a) * d(1, b) - d(1, a) * d(0, b) == 0;
}

// Sub-pixel corners: the same test in double precision, where (a - o) x (b - o) rounds to zero.
bool collinear(const mlx::matrix<double, 12>& c, std::size_t a, std::size_t b, std::size_t o) {
    const auto d = [&](std::size_t row, std::size_t j) { return c(row, j) - c(row, o); };
    return d(0, a) * d(1, b) - d(1, a) * d(0, b) == 0.0;
}

// Four corners define a homography of the unit square only when no three of them are collinear
// (which includes coincident corners). Whole-pixel corners within 32-bit range are tested exactly.
void requireGeneralPosition(const mlx::matrix<double, 12>& corners) {
    bool whole = true;
    mlx::matrix<int, 12> c(3, 4);
    for (std::size_t j = 0; j < 4; ++j)
        for (std::size_t i = 0; i < 2; ++i) {
            const double v = corners(i, j);
            whole = whole && v == std::floor(v) && std::fabs(v) < 2147483648.0;
            if (whole) c(i, j) = static_cast<int>(v);
        }
    static const std::size_t triples[4][3] = {{0, 1, 2}, {0, 1, 3}, {0, 2, 3}, {1, 2, 3}};
    for (const auto& t : triples)
        if (whole ? collinear(c, t[0], t[1], t[2]) : collinear(corners, t[0], t[1], t[2]))
            MLX_RAISE("selected corners " << t[0] + 1 << ", " << t[1] + 1 << " and " << t[2] + 1
                                          << " are collinear or coincident: no region to track");
}

}  // namespace

void requireTracked(const frameResult& r) {
    if (r.lost()) MLX_RAISE("run: the region was lost (" << r.why << ")");
}

session::session(const mlx::matrix<double, 12>& corners, const ini::INIParser& config,
                 const mlx::matrix<unsigned char>& image)
    : kind(keys::method(config)) {
    requireGeneralPosition(corners);
    linearHooks hooks;
    double accept = 0.0;
    if (keys::extensionsOn(config)) {
        const auto read = [&](const char* name) { return keys::read(config, name, kind); };
        weights = std::make_unique<photometry>(read("clipping") != 0.0, read("robust"));
        hooks.weights = weights.get();
        if (read("binning") > 0.0) {
            reader = std::make_unique<binnedSampler>(mlx::matrix<double>(corners), read("binning"));
            hooks.reader = reader.get();
        }
        draws = std::make_unique<seededDraws>(static_cast<std::uint32_t>(read("seed")));
        hooks.draws = draws.get();
        motion = std::make_unique<motionPrior>(read("predict"), static_cast<unsigned>(read("settle")));
        lost = lostState(read("lost"));
        accept = read("reacquire");
        const double flat = read("flat");
        if (read("follow") != 0.0 && flat > 0.0 &&
            weakTexture::weak(mlx::matrix<double, 12>(mlx::matrix<double>(corners)), image, flat)) {
            camera = std::make_unique<cameraMotion>();
            camera->reference(image);
            selectedView = std::make_unique<cameraMotion>(*camera);
        } else if (lost.on() && read("follow") != 0.0) {
            camera = std::make_unique<cameraMotion>();
        }
        const bool fast = read("fastlearn") != 0.0;
        if (fast) {
            moves = std::make_unique<closedFormMoves>();
            hooks.moves = moves.get();
        }
        if (kind == tracker::JD) {
            hooks.sampleNoise = read("sensor");
            if (read("occlusion") > 0.0) {
                hiding = std::make_unique<occlusion>(
                    read("occlusion"), *weights, ini::readUnsigned(config, "nbtrack", learningDefaults::nbtrack),
                    ini::readUnsigned(config, "nbpoints", learningDefaults::nbpoints), fast);
                if (hiding->active())
                    hooks.fit = hiding.get();
                else
                    hiding.reset();
            }
            if (fast && !hiding) {
                fitter = std::make_unique<choleskyFit>();
                hooks.fit = fitter.get();
            }
        } else if (fast) {
            widthSearch = std::make_unique<symmetricWidthSearch>();
            if (kind == tracker::RVM) screen = std::make_unique<relevanceScreen>();
            if (kind == tracker::JDK) solver = std::make_unique<refinedWeights>();
        }
    }
    relevanceHooks kernels(hooks);
    kernels.search = widthSearch.get();
    kernels.screen = screen.get();
    kernels.solve = solver.get();
    switch (kind) {
    case tracker::JDK:
        tk = std::make_unique<trackjdk>(corners, config, image, kernels);
        break;
    case tracker::RVM:
        tk = std::make_unique<trackRVM>(corners, config, image, kernels);
        break;
    case tracker::JD:
        tk = std::make_unique<trackDhome>(corners, config, image, hooks);
        if (hiding) hiding->attach(static_cast<trackDhome&>(*tk));
        break;
    }
    // The search reads the first frame once the region is known to be learnable there.
    if (lost.on() && accept > 0.0 && !selectedView)
        finder = std::make_unique<reacquisition>(accept, mlx::matrix<double, 12>(mlx::matrix<double>(corners)), image);
    if (motion || reader || hiding) tk->setControl(this);
    restart();
}

session::~session() = default;

void session::start(tracker& t) {
    if (reader) reader->newFrame();
    // A weak-texture region starts where the camera's motion puts it and needs no settling there.
    if (motion && !selectedView) motion->start(t);
}

void session::steps(tracker& t, const mlx::matrix<unsigned char>& frame) {
    if (hiding)
        hiding->steps(static_cast<trackDhome&>(t), frame);
    else
        t.pass(frame);
}

bool session::stepOn(const tracker& t, unsigned k, unsigned taken) const {
    return motion && !selectedView && motion->stepOn(t, k, taken);
}

const frameResult& session::run(const mlx::matrix<unsigned char>& frame) {
    if (selectedView) return withCamera(frame);
    const bool wasLost = result.lost();
    if (camera && wasLost) follow(frame);
    const mlx::geometry::homog before = tk->getH();
    result.status = frameResult::state::tracked;
    result.why.clear();
    result.reacquired = false;
    std::string why;
    try {
        tk->run(frame);
    } catch (const mlx::tool::generalException& e) {
        if (!lost.on()) throw;
        why = e.message();
    }
    const mlx::matrix<double>& c = tk->getCorners();
    if (why.empty() && c.empty()) {
        result.score = std::nan("");
        return result;
    }
    if (why.empty()) {
        result.score = matchScore(tk->lastDifference());
        why = judge(frame);
        // Once lost, the region is taken back only clearly above the lost threshold: what covers
        // it may match it a little.
        if (why.empty() && wasLost && finder && result.score < finder->acceptance()) {
            std::ostringstream text;
            text << "match score " << result.score << " below " << finder->acceptance() << " while lost";
            why = text.str();
        }
        // Steps that slide onto a look-alike match it as well as the region: only the bent quad tells,
        // once the region is being followed (a first frame may find it far from its selected shape).
        if (why.empty() && finder && motion && motion->following() &&
            !reacquisition::keepsShape(mlx::matrix<double, 12>(c), seenWhole) && finder->repeated())
            why = "the quad has lost the region's shape";
    }
    if (why.empty() && !(wasLost && finder)) {
        result.corners = c;
        if (motion) motion->tracked(result.corners);
        // The shape the search looks for: the region's as last seen whole and sure, which changes
        // little from frame to frame.
        if (finder && result.score >= finder->acceptance() && lostState::insideShare(c, frame.rows(), frame.cols()) == 1.0 &&
            reacquisition::keepsShape(result.corners, seenWhole))
            seenWhole = result.corners;
        return result;
    }
    if (!lost.on()) {
        result.status = frameResult::state::lost;
        result.why = why;
        return result;
    }
    // Lost, or still lost: the search's places compete with where the steps ended, if that passed.
    if (!(finder && search(frame, why.empty()))) {
        if (camera && !wasLost) camera->reference(frame);
        return hold(before, why);
    }
    result.reacquired = true;
    if (motion) motion->restart(result.corners);
    return result;
}

std::string session::judge(const mlx::matrix<unsigned char>& frame) {
    const mlx::matrix<double>& c = tk->getCorners();
    if (!lost.on()) return nonFinite(c);
    // A last step that moves a corner beyond the first level's whole range: the steps diverge.
    double moved = 0.0;
    for (std::size_t q = 0; q < 8; ++q) moved = std::max(moved, std::fabs(tk->lastMotion()(q)));
    return lost.verdict(result.score, c, frame.rows(), frame.cols(), moved > tk->getLearner().levelRange(0));
}

// Where the steps end from two places far apart with nearly the same match, the frame holds look-alikes
// (repeated structure), and neither is taken.
bool session::search(const mlx::matrix<unsigned char>& frame, bool stepsPassed) {
    struct found {
        double score;
        mlx::geometry::homog H;
        mlx::matrix<double, 12> corners;
    };
    std::vector<found> places;
    const auto consider = [&](double score) {
        found f{score, tk->getH(), mlx::matrix<double, 12>(tk->getCorners())};
        if (reacquisition::keepsShape(f.corners, seenWhole)) places.push_back(std::move(f));
    };
    if (stepsPassed && lostState::insideShare(tk->getCorners(), frame.rows(), frame.cols()) >= foundInside)
        consider(result.score);
    for (const auto& start : finder->candidates(frame, seenWhole)) {
        tk->setH(mlx::geometry::homog(tk->getLearner().getUnitSquare(), start, true));
        if (hiding) hiding->release(static_cast<trackDhome&>(*tk));
        try {
            steps(*tk, frame);
        } catch (const mlx::tool::generalException&) {
            continue;
        }
        // Samples off the frame do not count: a place partly off it matches on too few to tell.
        const double score = matchScore(tk->lastDifference());
        if (lost.verdict(score, tk->getCorners(), frame.rows(), frame.cols(), false).empty() &&
            lostState::insideShare(tk->getCorners(), frame.rows(), frame.cols()) >= foundInside)
            consider(score);
    }
    const auto distance = [](const mlx::matrix<double, 12>& a, const mlx::matrix<double, 12>& b) {
        double dx = 0.0, dy = 0.0;
        for (std::size_t j = 0; j < 4; ++j) {
            dx += (a(0, j) - b(0, j)) / 4.0;
            dy += (a(1, j) - b(1, j)) / 4.0;
        }
        return std::hypot(dx, dy);
    };
    // A region the first frame repeats is told from its look-alikes by where it is only: it is
    // taken back near where it was last, among the places found there.
    const double side = std::sqrt(lost.selectedArea());
    const double reach = finder->repeated() ? nearby * side : INFINITY;
    const found* chosen = nullptr;
    for (const found& f : places)
        if (distance(f.corners, result.corners) <= reach && (!chosen || f.score > chosen->score)) chosen = &f;
    if (!chosen || !(chosen->score >= finder->acceptance())) return false;
    for (const found& f : places)
        if (distance(f.corners, result.corners) <= reach && distance(f.corners, chosen->corners) >= apart * side &&
            f.score > chosen->score - ambiguity)
            return false;
    const found& best = *chosen;
    tk->setH(best.H);
    tk->setCorners(mlx::matrix<double>(best.corners));
    result.corners = best.corners;
    result.score = best.score;
    seenWhole = best.corners;
    return true;
}

void session::follow(const mlx::matrix<unsigned char>& frame) {
    cameraMotion::similarity moved;
    if (!camera->next(frame, moved)) return;
    moved.move(result.corners);
    moved.move(seenWhole);
    tk->setH(mlx::geometry::homog(tk->getLearner().getUnitSquare(), result.corners, true));
    tk->setCorners(mlx::matrix<double>(result.corners));
}

const frameResult& session::withCamera(const mlx::matrix<unsigned char>& frame) {
    // Measured from the first frame, not chained: a still camera's region stays put whoever walks by.
    cameraMotion::similarity moved;
    if (camera->since(frame, moved)) {
        anchor = selection;
        moved.move(anchor);
    }
    tk->setH(mlx::geometry::homog(tk->getLearner().getUnitSquare(), anchor, true));
    result.status = frameResult::state::tracked;
    result.why.clear();
    result.reacquired = false;
    bool near = true, stepped = true;
    try {
        tk->run(frame);
        const mlx::matrix<double>& c = tk->getCorners();
        // No steps taken (no level to take them with): the camera's placement stands, unjudged, as
        // on the plain path.
        stepped = near = !c.empty();
        for (std::size_t j = 0; j < 4 && near; ++j)
            near = std::hypot(c(0, j) / c(2, j) - anchor(0, j), c(1, j) / c(2, j) - anchor(1, j)) <= weakTexture::reach;
        result.score = stepped ? matchScore(tk->lastDifference()) : std::nan("");
    } catch (const mlx::tool::generalException&) {
        if (!lost.on()) throw;
        near = false;
        result.score = std::nan("");
    }
    // The score stays the steps' own: it tells whether the region is seen at all, not where.
    if (near) {
        result.corners = tk->getCorners();
        mlx::geometry::normalize_h(result.corners);
    } else {
        result.corners = anchor;
        tk->setH(mlx::geometry::homog(tk->getLearner().getUnitSquare(), anchor, true));
        tk->setCorners(mlx::matrix<double>(anchor));
    }
    if (lost.on() && stepped) {
        result.why = lost.verdict(result.score, result.corners, frame.rows(), frame.cols(), false);
        if (!result.why.empty()) result.status = frameResult::state::lost;
    }
    return result;
}

const frameResult& session::hold(const mlx::geometry::homog& before, std::string why) {
    tk->setH(before);
    tk->setCorners(result.corners);
    if (motion) motion->lost();
    if (hiding) hiding->release(static_cast<trackDhome&>(*tk));
    result.status = frameResult::state::lost;
    result.why = std::move(why);
    return result;
}

void session::restart() {
    tk->restart();
    mlx::matrix<double, 12> selected;
    tk->getH().applyto(tk->getLearner().getUnitSquare(), selected);
    mlx::geometry::normalize_h(selected);
    result = frameResult{selected, 1.0, frameResult::state::tracked, {}, false};
    lost.select(selected);
    seenWhole = selected;
    if (motion) motion->restart(result.corners);
    if (hiding) hiding->release(static_cast<trackDhome&>(*tk));
    anchor = selection = selected;
    if (selectedView) *camera = *selectedView;
}

}  // namespace track
