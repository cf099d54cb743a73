#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace TestSupport {

// A throw-away certificate authority and the keys and certificates a signing test needs,
// made with openssl in `folder`. EC keys keep it quick.
class SigningFixture {
public:
    explicit SigningFixture(const std::filesystem::path& folder);

    static constexpr const char* kPassword = "key secret 42";
    static constexpr const char* kTokenModule = "/usr/lib/softhsm/libsofthsm2.so";

    std::filesystem::path folder;
    std::filesystem::path ca;  // the authority's certificate
    std::filesystem::path key;  // the signer's key, unencrypted
    std::filesystem::path encryptedKey;  // the same key under kPassword
    std::filesystem::path certificate;  // code signing, the authority's after it
    std::filesystem::path pkcs12;  // key and both certificates, under kPassword
    std::filesystem::path passwordFile;  // kPassword and a line end
    std::filesystem::path expiredCertificate;  // code signing, valid in 2020 only
    std::filesystem::path serverCertificate;  // for TLS servers, not code signing
    std::filesystem::path tsaKey, tsaCertificate;

    // The signer's key imported into a fresh SoftHSM2 token whose PIN is kPassword;
    // points SOFTHSM2_CONF (in this process, so in its children) at the token's store.
    // The key's PKCS#11 URI.
    std::string TokenKey();
};

// An RFC 3161 time-stamp authority on the loopback interface, signed by the fixture's
// authority, for as long as the object lives.
class TimeStampAuthority {
public:
    explicit TimeStampAuthority(const SigningFixture& fixture);
    ~TimeStampAuthority();
    TimeStampAuthority(const TimeStampAuthority&) = delete;
    TimeStampAuthority& operator=(const TimeStampAuthority&) = delete;

    const std::string& Url() const { return url; }

private:
    pid_t pid = -1;
    std::string url;
};

// An http URL on the loopback interface where nothing listens.
std::string UnreachableUrl();

}  // namespace TestSupport
