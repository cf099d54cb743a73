// Signing with osslsigncode and checking the signature made, with a throw-away authority:
// each kind of key, and each way a signature fails.
#include <optional>

#include "packaging/PackageSigner.h"
#include "packaging/PackagingTestSupport.h"
#include "packaging/Sha256.h"
#include "platform/Interrupt.h"
#include "support/ChildRun.h"
#include "support/SigningFixture.h"

namespace {

using namespace PackagingTest;

class PackageSigning : public testing::Test {
protected:
    void SetUp() override
    {
        fixture.emplace(ScratchFolder() / "keys");
        package = ScratchFolder() / "package.exe";
        // A Windows program to sign: the installer module the build made.
        WriteBytes(package, ReadBytes(HALVEX_MODULE));
    }

    std::optional<std::string> Sign(const PackageOptions& options)
    {
        RecordingProgress progress;
        std::string digest;
        if (!PackageSigner(options, GetLogging(), &progress, Platform::InterruptRequested)
                 .Sign(package.wstring(), digest))
            return std::nullopt;
        return digest;
    }

    PackageOptions Options(const fs::path& pkcs12, const fs::path& certificate, const std::string& key,
                           const std::string& password)
    {
        PackageOptions options;
        options.SetSignPkcs12(pkcs12.wstring());
        options.SetSignCertificate(certificate.wstring());
        options.SetSignKey(std::wstring(key.begin(), key.end()));
        if (key.starts_with("pkcs11:"))
            options.SetSignModule(L"/usr/lib/softhsm/libsofthsm2.so");
        options.SetSignPassword(password);
        return options;
    }

    std::optional<SigningFixture> fixture;
    fs::path package;
};

TEST_F(PackageSigning, EachKindOfKeySignsAndTheSignatureVerifies)
{
    const TimeStampAuthority authority(*fixture);
    const std::string password = SigningFixture::kPassword;
    const struct {
        const char* name;
        PackageOptions options;
        bool stamped;
    } cases[] = {
        {"PKCS#12 file", Options(fixture->pkcs12, {}, "", password), true},
        {"PEM certificate and key", Options({}, fixture->certificate, fixture->key.string(), ""), false},
        {"PEM certificate and encrypted key",
         Options({}, fixture->certificate, fixture->encryptedKey.string(), password), true},
        {"key on a PKCS#11 token", Options({}, fixture->certificate, fixture->TokenKey(), password), false},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(package, ReadBytes(HALVEX_MODULE));
        if (c.stamped)
            c.options.SetTimestampUrl(std::wstring(authority.Url().begin(), authority.Url().end()));
        LogRecord log;
        const auto digest = Sign(c.options);
        ASSERT_TRUE(digest) << log.Joined();
        Sha256 expected;
        expected.Update(ReadBytes(package));
        EXPECT_EQ(*digest, expected.HexDigest()) << "the digest is of the signed bytes";
        EXPECT_FALSE(fs::exists(package.string() + ".signed"));

        const ChildResult verify =
            RunChild("/usr/bin/osslsigncode", {"verify", "-in", package.string(), "-CAfile", fixture->ca.string(),
                                               "-TSA-CAfile", fixture->ca.string()});
        EXPECT_EQ(verify.exitCode, 0) << verify.out << verify.err;
        const std::string lines = log.Joined();
        EXPECT_NE(
            lines.find(
                "Signature verified: signer CN = Halvex Test Signer, O = Halvex Tests issuer CN = Halvex Test CA"),
            std::string::npos)
            << lines;
        EXPECT_EQ(lines.find("Time stamp:") != std::string::npos, c.stamped) << lines;
        EXPECT_EQ(lines.find(SigningFixture::kPassword), std::string::npos) << "the password is never logged";
        EXPECT_EQ(lines.find("-readpass /dev/stdin") != std::string::npos, !c.options.GetSignPassword().empty())
            << lines;
    }
}

TEST_F(PackageSigning, AFailedSignatureSaysWhyAndLeavesTheFileAsItWas)
{
    const std::string password = SigningFixture::kPassword;
    const struct {
        const char* name;
        PackageOptions options;
        std::string timestamp;
        const char* reason;
    } cases[] = {
        {"a wrong password", Options(fixture->pkcs12, {}, "", "not the password"), "", "Wrong password?"},
        {"no password for an encrypted key", Options({}, fixture->certificate, fixture->encryptedKey.string(), ""), "",
         "Failed to sign the package with return code:"},
        {"an expired certificate", Options({}, fixture->expiredCertificate, fixture->key.string(), ""), "",
         "the signing certificate is not valid now: valid from 2020-01-01T00:00:00Z to 2020-12-31T00:00:00Z"},
        {"a certificate that is not for code signing",
         Options({}, fixture->serverCertificate, fixture->key.string(), ""), "",
         "the signing certificate is not meant for code signing: CN = Halvex Server"},
        {"an unreachable time-stamp server", Options(fixture->pkcs12, {}, "", password), UnreachableUrl(),
         "timestamping failed"},
    };
    const std::string unsignedBytes = ReadBytes(package);
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        c.options.SetTimestampUrl(std::wstring(c.timestamp.begin(), c.timestamp.end()));
        LogRecord log;
        EXPECT_FALSE(Sign(c.options));
        EXPECT_NE(log.Joined().find(c.reason), std::string::npos) << log.Joined();
        EXPECT_EQ(ReadBytes(package), unsignedBytes);
        EXPECT_FALSE(fs::exists(package.string() + ".signed"));
    }
}

}  // namespace
