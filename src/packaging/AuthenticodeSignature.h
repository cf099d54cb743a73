#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Where a Windows executable keeps its Authenticode signature, and who made one. The
// signature is a PKCS#7 block in the certificate table, which the PE header's security
// directory points at (at the end of the file); signing also rewrites the header's checksum.
struct PeSignatureFields {
    // File offsets of the header's checksum (4 bytes) and of the security directory
    // entry (8 bytes: the table's offset and size).
    std::uint64_t checksumOffset = 0;
    std::uint64_t securityEntryOffset = 0;
    std::uint32_t tableOffset = 0;
    std::uint32_t tableSize = 0;
};

// The fields of the PE file that starts `head` (its first 4 KiB are enough). Nothing
// when the bytes are not a PE file.
std::optional<PeSignatureFields> ReadPeSignatureFields(std::string_view head);

// The same bytes with the checksum and the security directory entry zeroed: what stays
// of an executable's header when its signature is taken away.
std::string WithoutSignatureFields(std::string bytes, const PeSignatureFields& fields);

// The signer of a signed file and the certificates the signature carries.
struct SignerFacts {
    // One-line names, as "CN=Signer, O=Example".
    std::string subject;
    std::string issuer;
    // ISO 8601, UTC.
    std::string notBefore;
    std::string notAfter;
    bool validNow = false;
    // The extended key usage allows code signing (a certificate without one allows all).
    bool codeSigning = false;
    // Every certificate in the signature, as PEM.
    std::string certificatesPem;
};

struct SignerReading {
    std::optional<SignerFacts> signer;
    // Why there is none: the file is not signed, or its signature cannot be read.
    std::string problem;
    bool isUnsigned = false;
};

SignerReading ReadSigner(const std::wstring& file);

// The time stamp's time from what `osslsigncode verify` printed, empty when the signature
// carries none. Debian 12 ships 2.5 and its backports 2.9; the two word the line differently.
std::string VerifiedTimeStamp(const std::string& verifyOutput);
