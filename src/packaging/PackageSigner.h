#pragma once

#include <string>
#include <vector>

#include "core/IProgress.h"
#include "core/Logging.h"
#include "core/PackageOptions.h"
#include "packaging/StepResult.h"
#include "packaging/StopRequest.h"

// Signs a joined package with Authenticode through osslsigncode, with the key the options
// name (a PKCS#12 file, PEM files, or a key on a PKCS#11 token), then checks what it made:
// the signer's certificate must be valid now and meant for code signing, and the signature
// must verify against the signing certificate's chain (and the system's certificates).
// The key's password reaches osslsigncode through a pipe on its standard input only.
class PackageSigner {
public:
    PackageSigner(const PackageOptions& options, CLogging& log, IProgress* progress, StopRequest stopRequested);

    // Signs `file` in place; the signed copy and the chain it is checked against are made
    // beside it, in a folder that may be one this process holds by descriptor. Once it is
    // signed and checked, `digest` is the SHA-256 of the signed bytes; a failure is logged
    // with osslsigncode's reason, and `file` is then as it was.
    StepResult Sign(const std::wstring& file, std::string& digest);

private:
    struct Outcome {
        int code = 0;
        std::string output;
        std::string errors;
    };

    Outcome Run(const std::vector<std::wstring>& arguments, const std::string& input, const std::wstring& folder = {});
    void LogToolLines(const Outcome& outcome);
    // osslsigncode's command line to sign `name` into `signedName`, both in its folder.
    StepResult SignArguments(const std::wstring& name, const std::wstring& signedName,
                             std::vector<std::wstring>& arguments);
    StepResult Check(const std::wstring& folder, const std::wstring& name);

    const PackageOptions& options;
    CLogging& log;
    IProgress* progress;
    StopRequest stopRequested;
    std::wstring tool;
};
