#ifndef MLX_TOOL_EXCEPTION_HPP
#define MLX_TOOL_EXCEPTION_HPP

#include <exception>
#include <sstream>
#include <string>

namespace mlx::tool {

// The toolkit's only exception. what() is the report
//   <tag>\nIn file <source> at line #<line>\n<message>
// with the tag "<MLX Error>" (container layer) or "<XPR Error>" (expression evaluation).
class generalException : public std::exception {
public:
    generalException(const std::string& tag, const char* file, int line, const std::string& message);
    const char* what() const noexcept override { return report_.c_str(); }
    const std::string& message() const noexcept { return message_; }

private:
    std::string report_;
    std::string message_;
};

// Kinds of misuse that have no report text of their own; their message starts with the kind.
struct checker {
    static constexpr const char* SizeMismatch = "SizeMismatch";
    static constexpr const char* BadDimensions = "BadDimensions";
    static constexpr const char* TimeException = "TimeException";
};

[[noreturn]] void raise(const char* tag, const char* file, int line, const std::string& message);

}  // namespace mlx::tool

namespace mlx::xpr {

// Errors found while evaluating an element-wise expression: a generalException tagged "<XPR Error>".
class xprException : public tool::generalException {
public:
    xprException(const char* file, int line, const std::string& message)
        : generalException("<XPR Error>", file, line, message) {}
};

}  // namespace mlx::xpr

// Throw a toolkit error whose message is built by stream insertion: MLX_RAISE("count " << n).
#define MLX_RAISE(...)                                                     \
    do {                                                                        \
        std::ostringstream mlx_message_;                                        \
        mlx_message_ << __VA_ARGS__;                                               \
        ::mlx::tool::raise("<MLX Error>", __FILE__, __LINE__, mlx_message_.str()); \
    } while (false)

#define XPR_RAISE(...)                                                     \
    do {                                                                        \
        std::ostringstream mlx_message_;                                        \
        mlx_message_ << __VA_ARGS__;                                               \
        throw ::mlx::xpr::xprException(__FILE__, __LINE__, mlx_message_.str()); \
    } while (false)

#endif
