#pragma once
// Errors are values: library functions return Result<T>, never throw across the boundary.
#include <cerrno>
#include <string>
#include <utility>
#include <variant>

namespace bwcore {

// An operating-system error (code = errno) or a short fixed message (code = 0).
struct Error {
    int code = 0;
    std::string message;

    static Error os(int err) { return Error{err, {}}; }
    static Error text(std::string msg) { return Error{0, std::move(msg)}; }
    bool is_os() const { return code != 0; }
};

template <class T>
class Result {
public:
    Result(T value) : m_v(std::move(value)) {}
    Result(Error err) : m_v(std::move(err)) {}

    bool ok() const { return m_v.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() & { return std::get<0>(m_v); }
    const T& value() const& { return std::get<0>(m_v); }
    T&& value() && { return std::get<0>(std::move(m_v)); }
    const Error& error() const { return std::get<1>(m_v); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

private:
    std::variant<T, Error> m_v;
};

// For operations that yield nothing but may fail.
struct Unit {};
using Status = Result<Unit>;
inline Status ok_status() { return Unit{}; }

}  // namespace bwcore
