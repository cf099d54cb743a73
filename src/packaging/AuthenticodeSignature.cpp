#include "packaging/AuthenticodeSignature.h"

#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>

#include <openssl/bio.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "platform/TextConversion.h"

namespace {

// A signature block larger than this is not one any signing tool writes.
constexpr std::uint32_t kMaxTableSize = 16 << 20;
// WIN_CERTIFICATE: length, revision, type, then the PKCS#7 bytes; type 2 is PKCS#7.
constexpr std::size_t kCertificateHeader = 8;
constexpr std::uint16_t kPkcs7Type = 2;

std::uint32_t Little(std::string_view bytes, std::size_t at, std::size_t width)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return value;
}

std::string Name(const X509_NAME* name)
{
    std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new(BIO_s_mem()), BIO_free);
    X509_NAME_print_ex(out.get(), name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long size = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

std::string Time(const ASN1_TIME* time)
{
    std::tm parts{};
    if (ASN1_TIME_to_tm(time, &parts) != 1)
        return std::string();
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

}  // namespace

std::optional<PeSignatureFields> ReadPeSignatureFields(std::string_view head)
{
    if (head.size() < 0x40 || head.substr(0, 2) != "MZ")
        return std::nullopt;
    const std::uint32_t pe = Little(head, 0x3C, 4);
    // Signature, file header (20 bytes), then the optional header.
    if (pe > head.size() || head.size() - pe < 24 + 2 || head.substr(pe, 4) != std::string_view("PE\0\0", 4))
        return std::nullopt;
    const std::size_t optional = pe + 24;
    const std::uint32_t magic = Little(head, optional, 2);
    // The data directories follow 96 (PE32) or 112 (PE32+) bytes of the optional header;
    // the security directory is the fifth.
    std::size_t directories;
    if (magic == 0x10B)
        directories = optional + 96;
    else if (magic == 0x20B)
        directories = optional + 112;
    else
        return std::nullopt;
    const std::size_t count = optional + (magic == 0x10B ? 92 : 108);
    const std::size_t security = directories + 4 * 8;
    if (head.size() < security + 8 || Little(head, count, 4) < 5)
        return std::nullopt;
    PeSignatureFields fields;
    fields.checksumOffset = optional + 64;
    fields.securityEntryOffset = security;
    fields.tableOffset = Little(head, security, 4);
    fields.tableSize = Little(head, security + 4, 4);
    return fields;
}

std::string WithoutSignatureFields(std::string bytes, const PeSignatureFields& fields)
{
    for (const auto& [at, width] : {std::pair{fields.checksumOffset, 4u}, std::pair{fields.securityEntryOffset, 8u}})
        if (at + width <= bytes.size())
            bytes.replace(at, width, width, '\0');
    return bytes;
}

SignerReading ReadSigner(const std::wstring& file)
{
    SignerReading reading;
    std::ifstream in(Platform::NarrowHostText(file), std::ios::binary);
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    const auto fields = ReadPeSignatureFields(head);
    if (!fields) {
        reading.problem = "the file is not a Windows executable";
        return reading;
    }
    if (fields->tableOffset == 0 && fields->tableSize == 0) {
        reading.isUnsigned = true;
        reading.problem = "the file is not signed";
        return reading;
    }
    in.clear();
    in.seekg(0, std::ios::end);
    const auto size = static_cast<std::uint64_t>(in.tellg());
    if (fields->tableSize < kCertificateHeader || fields->tableSize > kMaxTableSize ||
        std::uint64_t{fields->tableOffset} + fields->tableSize > size) {
        reading.problem = "the signature's place in the file is not inside the file";
        return reading;
    }
    std::string table(fields->tableSize, '\0');
    in.seekg(fields->tableOffset);
    in.read(table.data(), static_cast<std::streamsize>(table.size()));
    const std::uint32_t length = Little(table, 0, 4);
    if (!in || Little(table, 6, 2) != kPkcs7Type || length < kCertificateHeader || length > table.size()) {
        reading.problem = "the signature block is not a PKCS#7 signature";
        return reading;
    }
    const auto* der = reinterpret_cast<const unsigned char*>(table.data() + kCertificateHeader);
    std::unique_ptr<PKCS7, decltype(&PKCS7_free)> pkcs7(d2i_PKCS7(nullptr, &der, length - kCertificateHeader),
                                                        PKCS7_free);
    if (!pkcs7 || !PKCS7_type_is_signed(pkcs7.get())) {
        reading.problem = "the signature block is not a PKCS#7 signature";
        return reading;
    }
    STACK_OF(X509)* signers = PKCS7_get0_signers(pkcs7.get(), nullptr, 0);
    if (!signers || sk_X509_num(signers) < 1) {
        sk_X509_free(signers);
        reading.problem = "the signature does not carry its signer's certificate";
        return reading;
    }
    X509* signer = sk_X509_value(signers, 0);
    sk_X509_free(signers);

    SignerFacts facts;
    facts.subject = Name(X509_get_subject_name(signer));
    facts.issuer = Name(X509_get_issuer_name(signer));
    facts.notBefore = Time(X509_get0_notBefore(signer));
    facts.notAfter = Time(X509_get0_notAfter(signer));
    facts.validNow =
        X509_cmp_current_time(X509_get0_notBefore(signer)) < 0 && X509_cmp_current_time(X509_get0_notAfter(signer)) > 0;
    // Without the extension a certificate serves every purpose.
    facts.codeSigning = (X509_get_extended_key_usage(signer) & XKU_CODE_SIGN) != 0;
    std::unique_ptr<BIO, decltype(&BIO_free)> pem(BIO_new(BIO_s_mem()), BIO_free);
    STACK_OF(X509)* certificates = pkcs7->d.sign->cert;
    for (int i = 0; i < sk_X509_num(certificates); ++i)
        PEM_write_bio_X509(pem.get(), sk_X509_value(certificates, i));
    char* data = nullptr;
    const long pemSize = BIO_get_mem_data(pem.get(), &data);
    facts.certificatesPem.assign(data, static_cast<std::size_t>(pemSize));
    reading.signer = std::move(facts);
    return reading;
}

std::string VerifiedTimeStamp(const std::string& verifyOutput)
{
    std::istringstream lines(verifyOutput);
    for (std::string line; std::getline(lines, line);) {
        for (const std::string_view label : {"Timestamp time: ", "The signature is timestamped: "}) {
            if (const auto at = line.find(label); at != std::string::npos)
                return line.substr(at + label.size());
        }
    }
    return {};
}
