#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace TolvarSecurity {

// Root of the library's own failures. Deliberately not a std::runtime_error:
// a caller that handles only runtime errors lets these pass to its outer handler.
// The message reads "<file>:<line>:<text>:<code>:OpenSSLError=<list>"; building
// it drains the calling thread's OpenSSL error queue.
class SecurityException : public std::exception {
public:
    ~SecurityException() override = default;
    const char* what() const noexcept override;

    std::int32_t code() const noexcept { return code_; }

protected:
    SecurityException(const char* file, std::int32_t line, const char* text, std::int32_t code);

private:
    std::int32_t code_;
    std::string message_;
};

// The eight conditions; each takes the source file and line where it is raised.
class InsufficientMemory : public SecurityException {
public:
    InsufficientMemory(const char* file, std::int32_t line);
};

class NoInputData : public SecurityException {
public:
    NoInputData(const char* file, std::int32_t line);
};

// Kept for callers that handle it; never raised here: the system's random source needs no context.
class Win32GetCryptographicContext : public SecurityException {
public:
    Win32GetCryptographicContext(const char* file, std::int32_t line);
};

// Kept for callers that handle it; never raised here, nor is PRNGInitialisation:
// nothing seeds the generator by hand, OpenSSL seeds it from the operating system.
class RandomSeedGeneration : public SecurityException {
public:
    RandomSeedGeneration(const char* file, std::int32_t line);
};

class PRNGInitialisation : public SecurityException {
public:
    PRNGInitialisation(const char* file, std::int32_t line);
};

class UnproperInputData : public SecurityException {
public:
    UnproperInputData(const char* file, std::int32_t line);
};

class InternalInconsistency : public SecurityException {
public:
    InternalInconsistency(const char* file, std::int32_t line);
};

class PRNGUninitialised : public SecurityException {
public:
    PRNGUninitialised(const char* file, std::int32_t line);
};

}  // namespace TolvarSecurity
