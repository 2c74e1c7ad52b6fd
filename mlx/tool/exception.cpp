#include "mlx/tool/exception.hpp"

namespace mlx::tool {

generalException::generalException(const std::string& tag, const char* file, int line,
                                   const std::string& message)
    : message_(message) {
    std::ostringstream report;
    report << tag << '\n' << "In file " << file << " at line #" << line << '\n' << message;
    report_ = report.str();
}

void raise(const char* tag, const char* file, int line, const std::string& message) {
    throw generalException(tag, file, line, message);
}

}  // namespace mlx::tool
