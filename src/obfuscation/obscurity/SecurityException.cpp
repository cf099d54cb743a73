#include "obfuscation/obscurity/SecurityException.h"

#include "obfuscation/obscurity/OpenSslErrors.h"

namespace TolvarSecurity {

SecurityException::SecurityException(const char* file, std::int32_t line, const char* text, std::int32_t code)
    : code_(code),
      message_(std::string(file) + ":" + std::to_string(line) + ":" + text + ":" + std::to_string(code) +
               ":OpenSSLError=" + OpenSslErrorList())
{}

const char* SecurityException::what() const noexcept
{
    return message_.c_str();
}

InsufficientMemory::InsufficientMemory(const char* file, std::int32_t line)
    : SecurityException(file, line, "Dynamic memory allocation failed.", 500)
{}

NoInputData::NoInputData(const char* file, std::int32_t line) : SecurityException(file, line, "No input data.", 510)
{}

Win32GetCryptographicContext::Win32GetCryptographicContext(const char* file, std::int32_t line)
    : SecurityException(file, line, "Creating Win32 cryptographic context failed.", 519)
{}

RandomSeedGeneration::RandomSeedGeneration(const char* file, std::int32_t line)
    : SecurityException(file, line, "Random seed generation failed.", 520)
{}

PRNGInitialisation::PRNGInitialisation(const char* file, std::int32_t line)
    : SecurityException(file, line, "PRNG initialisation failed, probably mo enough random seed.", 521)
{}

UnproperInputData::UnproperInputData(const char* file, std::int32_t line)
    : SecurityException(file, line, "Unproper input data.", 522)
{}

InternalInconsistency::InternalInconsistency(const char* file, std::int32_t line)
    : SecurityException(file, line, "Internal system inconsistency.", 524)
{}

PRNGUninitialised::PRNGUninitialised(const char* file, std::int32_t line)
    : SecurityException(file, line, "OpenSSL PRNG is not initialised.", 525)
{}

}  // namespace TolvarSecurity
