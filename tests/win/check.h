#ifndef CHECK_H
#define CHECK_H

// A few assertion macros for the Wine-run tests. A failed check prints where
// it failed and, inside a data table, which row; the run carries on so that
// one program reports every broken case at once.

#include <windows.h>

#include <cstdio>
#include <string>
#include <type_traits>

namespace check {

struct State {
    int checks = 0;
    int failures = 0;
    std::string scope;
};

inline State &state()
{
    static State s;
    return s;
}

// Names the table row or step that the checks inside it belong to.
class Scope
{
public:
    explicit Scope(const std::string &name) : m_saved(state().scope)
    {
        state().scope = m_saved.empty() ? name : m_saved + " / " + name;
    }
    ~Scope() { state().scope = m_saved; }
    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;

private:
    std::string m_saved;
};

inline bool report(bool ok, const char *what, const char *file, int line,
                   const std::string &detail = std::string())
{
    State &s = state();
    ++s.checks;
    if (ok)
        return true;
    ++s.failures;
    std::fprintf(stderr, "FAIL %s:%d: %s%s%s%s%s\n", file, line, what,
                 s.scope.empty() ? "" : "  [", s.scope.c_str(), s.scope.empty() ? "" : "]",
                 detail.c_str());
    std::fflush(stderr);
    return false;
}

template <typename T>
std::string describe(const T &value)
{
    char text[64];
    if constexpr (std::is_pointer_v<T>) {
        std::snprintf(text, sizeof text, "%p", static_cast<const void *>(value));
    } else if constexpr (std::is_same_v<T, bool>) {
        return value ? "true" : "false";
    } else if constexpr (std::is_enum_v<T> || std::is_integral_v<T>) {
        const long long v = static_cast<long long>(value);
        std::snprintf(text, sizeof text, "%lld (0x%llx)", v, static_cast<unsigned long long>(v));
    } else {
        return std::string(value);
    }
    return text;
}

template <typename A, typename B>
bool equal(const A &actual, const B &expected, const char *actualText, const char *expectedText,
           const char *file, int line)
{
    const bool ok = actual == expected;
    std::string what = std::string(actualText) + " == " + expectedText;
    return report(ok, what.c_str(), file, line,
                  ok ? std::string()
                     : "\n     got " + describe(actual) + ", expected " + describe(expected));
}

// A crash is reported here and ends the program at once; left to Wine, it
// would start the debugger and the test would only end at its timeout.
inline LONG WINAPI reportCrash(EXCEPTION_POINTERS *info)
{
    std::fprintf(stderr, "CRASH: exception 0x%08lx at %p%s%s%s\n",
                 info->ExceptionRecord->ExceptionCode, info->ExceptionRecord->ExceptionAddress,
                 state().scope.empty() ? "" : "  [", state().scope.c_str(),
                 state().scope.empty() ? "" : "]");
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

inline const bool crashReporterInstalled = (SetUnhandledExceptionFilter(reportCrash), true);

// The exit code: a program that checked nothing has not tested anything.
inline int finish(const char *program)
{
    const State &s = state();
    if (s.checks == 0) {
        std::fprintf(stderr, "%s: no checks ran\n", program);
        return 1;
    }
    std::printf("%s: %d checks, %d failed\n", program, s.checks, s.failures);
    return s.failures == 0 ? 0 : 1;
}

} // namespace check

#define CHECK(condition) ::check::report(!!(condition), #condition, __FILE__, __LINE__)
#define CHECK_EQ(actual, expected) \
    ::check::equal((actual), (expected), #actual, #expected, __FILE__, __LINE__)

#endif
