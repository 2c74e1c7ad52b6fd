// A stand-in plug-in for the host's tests. It follows nothing: it shows what the host handed it
// and fails on request, as its tracker.ini says:
//   fail_init = 1   init throws a report
//   fail_at = N     the N-th run throws a report
//   lost_at = N,M   the N-th and M-th runs report the region lost, leaving the corners as they were
//   drift = D       the corners move D pixels along x per frame (negative values leave the frame)
// At init it prints "fake tracker: " and the value of "tracker" on standard output, where the
// real plug-in prints its timing.
#include "tracker/quadtrack.h"

#include <fstream>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>

namespace {

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    return first == std::string::npos ? "" : s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

class Fake : public Interface {
public:
    Fake() {
        std::ifstream in("tracker.ini");
        if (!in) std::cerr << "Fichier ini de config introuvable" << std::endl;
        for (std::string line; std::getline(in, line);) {
            const auto eq = line.find('=');
            if (eq != std::string::npos) config_[trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
        }
    }

    void init(const Select& sel, const unsigned char*, const std::uint32_t&, const std::uint32_t&,
              const std::uint32_t&) override {
        std::cout << "fake tracker: " << config_["tracker"] << std::endl;
        if (config_["fail_init"] == "1") throw std::runtime_error("<MLX Error>\nIn file fake at line #1\nrefused");
        sel_ = sel;
        frames_ = 0;
    }

    void run(const unsigned char*, Select& sel) override {
        ++frames_;
        if (config_.count("fail_at") && std::stol(config_["fail_at"]) == frames_)
            throw std::runtime_error("<MLX Error>\nIn file fake at line #2\nno convergence");
        if (("," + config_["lost_at"] + ",").find("," + std::to_string(frames_) + ",") != std::string::npos)
            throw std::runtime_error("<MLX Error>\nIn file fake at line #3\nrun: the region was lost (score 0.02)");
        const long drift = config_.count("drift") ? std::stol(config_["drift"]) : 0;
        sel = sel_;
        for (std::uint32_t* x : {&sel.x1, &sel.x2, &sel.x3, &sel.x4}) *x = std::uint32_t(long(*x) + drift * frames_);
    }

    void kill() override {}

private:
    std::map<std::string, std::string> config_;
    Select sel_{};
    long frames_ = 0;
};

}  // namespace

extern "C" {
QUADTRACK_API void CreateCompute(Interface** out) { *out = new Fake; }
QUADTRACK_API void DestroyCompute(Interface* p) {
    p->kill();
    delete p;
}
}
