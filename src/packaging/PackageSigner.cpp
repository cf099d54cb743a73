#include "packaging/PackageSigner.h"

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <boost/filesystem/operations.hpp>

#include "packaging/AuthenticodeSignature.h"
#include "packaging/Sha256.h"
#include "platform/ChildProcess.h"
#include "platform/ProgramSearch.h"
#include "platform/TextConversion.h"

namespace fs = boost::filesystem;

namespace {

constexpr const wchar_t* kDefaultDescription = L"Veskor Endpoint Setup";
// The certificates every system trusts, beside the signer's own chain.
constexpr const char* kSystemCertificates = "/etc/ssl/certs/ca-certificates.crt";
// Enough of what the tool says to show why it failed.
constexpr int kToolLineCap = 20;

std::wstring Lower(std::wstring text)
{
    for (auto& c : text)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

std::optional<std::string> FileSha256(const std::wstring& path)
{
    std::ifstream in(Platform::NarrowHostText(path), std::ios::binary);
    if (!in)
        return std::nullopt;
    Sha256 digest;
    std::string buffer(1 << 20, '\0');
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
        digest.Update(std::string_view(buffer.data(), static_cast<std::size_t>(in.gcount())));
    if (in.bad())
        return std::nullopt;
    return digest.HexDigest();
}

}  // namespace

PackageSigner::PackageSigner(const PackageOptions& options, CLogging& log, IProgress* progress,
                             StopRequest stopRequested)
    : options(options),
      log(log),
      progress(progress),
      stopRequested(std::move(stopRequested)),
      tool(Platform::FindProgramOnPath(L"osslsigncode").value_or(L"osslsigncode"))
{}

PackageSigner::Outcome PackageSigner::Run(const std::vector<std::wstring>& arguments, const std::string& input,
                                          const std::wstring& folder)
{
    Platform::ChildProcess child(arguments, folder, input);
    Outcome outcome;
    if ((outcome.code = child.StartError()) != 0)
        return outcome;
    while (true) {
        const auto code = child.Poll();
        progress->Refresh();
        if (code) {
            outcome.code = *code;
            break;
        }
        if (stopRequested()) {
            child.Terminate();
            outcome.code = child.Poll().value_or(-1);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    outcome.output = child.Output();
    outcome.errors = child.ErrorOutput();
    return outcome;
}

// What osslsigncode said about a failure: its error output, line by line, then its own summary.
void PackageSigner::LogToolLines(const Outcome& outcome)
{
    int shown = 0;
    std::istringstream said(outcome.errors + "\n" + outcome.output);
    for (std::string line; std::getline(said, line) && shown < kToolLineCap;) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos)
            continue;
        log << "osslsigncode:" << Platform::WidenHostText(line) << "\n";
        ++shown;
    }
}

StepResult PackageSigner::SignArguments(const std::wstring& name, const std::wstring& signedName,
                                        std::vector<std::wstring>& arguments)
{
    arguments = {tool, L"sign"};
    // osslsigncode runs elsewhere: key and certificate files keep naming what they named
    // where the run started. The token's module stays as given, for the loader to find.
    StepResult resolved;
    const auto absolute = [&](const std::wstring& given) {
        boost::system::error_code error;
        const fs::path full = fs::absolute(given, error);
        if (error)
            resolved.Add(FileSystemFailure(log, "boost::filesystem::absolute", given, error));
        return full.wstring();
    };
    if (!options.GetSignPkcs12().empty()) {
        arguments.insert(arguments.end(), {L"-pkcs12", absolute(options.GetSignPkcs12())});
    } else if (Lower(options.GetSignKey()).starts_with(L"pkcs11:")) {
        arguments.insert(arguments.end(), {L"-pkcs11module", options.GetSignModule(), L"-certs",
                                           absolute(options.GetSignCertificate()), L"-key", options.GetSignKey()});
    } else {
        arguments.insert(arguments.end(),
                         {L"-certs", absolute(options.GetSignCertificate()), L"-key", absolute(options.GetSignKey())});
    }
    const std::wstring description =
        options.GetSignDescription().empty() ? kDefaultDescription : options.GetSignDescription();
    const std::wstring url = options.GetSignUrl().empty() ? options.GetManagementServerUrl() : options.GetSignUrl();
    arguments.insert(arguments.end(), {L"-h", L"sha256", L"-n", description});
    if (!url.empty())
        arguments.insert(arguments.end(), {L"-i", url});
    if (!options.GetTimestampUrl().empty())
        arguments.insert(arguments.end(), {L"-ts", options.GetTimestampUrl()});
    // The password goes through the pipe on standard input, never into the arguments.
    if (!options.GetSignPassword().empty())
        arguments.insert(arguments.end(), {L"-readpass", L"/dev/stdin"});
    arguments.insert(arguments.end(), {L"-in", name, L"-out", signedName});
    return resolved;
}

StepResult PackageSigner::Sign(const std::wstring& file, std::string& digest)
{
    log << "About to sign the package..." << "\n";
    // osslsigncode runs in the package's folder and names the files there by their bare
    // names: the folder may be one this process holds by descriptor.
    const fs::path path(file);
    const std::wstring folder = path.parent_path().wstring();
    const std::wstring name = path.filename().wstring();
    const std::wstring signedName = name + L".signed";
    const std::wstring signedFile = folder + L"/" + signedName;
    std::vector<std::wstring> arguments;
    if (StepResult composed = SignArguments(name, signedName, arguments); !composed)
        return composed;
    std::wstring command;
    for (const auto& argument : arguments)
        command += (command.empty() ? L"" : L" ") + argument;
    log << "Signing command line:" << command << "\n";

    boost::system::error_code ignored;
    const Outcome signing = Run(arguments, options.GetSignPassword(), folder);
    if (signing.code != 0 || !fs::is_regular_file(signedFile, ignored)) {
        log << "Failed to sign the package with return code:" << signing.code << "\n";
        if (signing.code == 2 && signing.output.empty() && signing.errors.empty())
            log << "Reason: osslsigncode cannot be run (Debian package osslsigncode)" << "\n";
        LogToolLines(signing);
        fs::remove(signedFile, ignored);
        return StepResult::Logged(log);
    }
    log << "Package signed" << "\n";
    if (StepResult checked = Check(folder, signedName); !checked) {
        fs::remove(signedFile, ignored);
        return checked;
    }
    const auto signedDigest = FileSha256(signedFile);
    fs::rename(signedFile, file, ignored);
    if (!signedDigest || ignored) {
        StepResult failed =
            LogFailure(log, "Failed to put the signed package in place:", Platform::WidenHostText(ignored.message()));
        fs::remove(signedFile, ignored);
        return failed;
    }
    digest = *signedDigest;
    return {};
}

StepResult PackageSigner::Check(const std::wstring& folder, const std::wstring& name)
{
    const SignerReading reading = ReadSigner(folder + L"/" + name);
    if (!reading.signer)
        return LogFailure(log, "Signature verification failed:", Platform::WidenHostText(reading.problem));
    const SignerFacts& signer = *reading.signer;
    if (!signer.codeSigning)
        return LogFailure(log, "Signature verification failed: the signing certificate is not meant for code signing:",
                          Platform::WidenHostText(signer.subject));
    if (!signer.validNow)
        return LogFailure(log, "Signature verification failed: the signing certificate is not valid now: valid from",
                          Platform::WidenHostText(signer.notBefore), "to", Platform::WidenHostText(signer.notAfter));

    // The signer's own chain, as the signature carries it, and the system's certificates.
    std::string trusted = signer.certificatesPem;
    std::ifstream system(kSystemCertificates, std::ios::binary);
    trusted.append(std::istreambuf_iterator<char>(system), std::istreambuf_iterator<char>());
    const std::wstring chainName = L"signing-chain.pem";
    const std::wstring chain = folder + L"/" + chainName;
    std::ofstream chainFile(Platform::NarrowHostText(chain), std::ios::binary | std::ios::trunc);
    chainFile << trusted;
    chainFile.close();
    if (chainFile.fail())
        return LogFailure(log, "Failed to write the signing chain", chain,
                          "with return code:", errno != 0 ? errno : EIO);
    const Outcome verifying =
        Run({tool, L"verify", L"-in", name, L"-CAfile", chainName, L"-TSA-CAfile", chainName}, "", folder);
    boost::system::error_code ignored;
    fs::remove(chain, ignored);
    if (verifying.code != 0 || verifying.output.find("Signature verification: ok") == std::string::npos) {
        log << "Signature verification failed with return code:" << verifying.code << "\n";
        LogToolLines(verifying);
        return StepResult::Logged(log);
    }
    log << "Signature verified: signer" << Platform::WidenHostText(signer.subject) << "issuer"
        << Platform::WidenHostText(signer.issuer) << "\n";
    if (const std::string stamped = VerifiedTimeStamp(verifying.output); !stamped.empty())
        log << "Time stamp:" << Platform::WidenHostText(stamped) << "\n";
    return {};
}
