// The corners table the host writes, one line per frame.
#ifndef QUADTRACK_HOST_CSV_HPP
#define QUADTRACK_HOST_CSV_HPP

#include "host/geometry.hpp"

#include <string>

namespace host {

// Callers may append columns after these.
inline const std::string kCsvHeader = "frame,x1,y1,x2,y2,x3,y3,x4,y4,score";

// One line without its end: the frame number, the whole-pixel corners, the score to 4 decimals.
std::string csvRow(long frame, const Quad& corners, double score);

}  // namespace host

#endif
