#pragma once

#include <map>
#include <string>

// Every choice that shapes one package. A plain value: copying it copies every
// string and both maps, so a job built from it is unaffected by later changes.
class PackageOptions {
public:
    using ParameterMap = std::map<std::wstring, std::wstring>;
    using KnownParameterMap = std::map<std::wstring, bool>;

    PackageOptions();

    bool GetCommandLineMode() const { return commandLineMode; }
    void SetCommandLineMode(bool value) { commandLineMode = value; }
    bool GetSkipChecks() const { return skipChecks; }
    void SetSkipChecks(bool value) { skipChecks = value; }
    const std::wstring& GetSourceFolder() const { return sourceFolder; }
    void SetSourceFolder(const std::wstring& value) { sourceFolder = value; }
    const std::wstring& GetOutputPackage() const { return outputPackage; }
    void SetOutputPackage(const std::wstring& value) { outputPackage = value; }
    bool GetOutputIsFolder() const { return outputIsFolder; }
    void SetOutputIsFolder(bool value) { outputIsFolder = value; }
    bool GetManaged() const { return managed; }
    void SetManaged(bool value) { managed = value; }
    bool GetFirewall() const { return firewall; }
    void SetFirewall(bool value) { firewall = value; }
    bool GetPatch() const { return patch; }
    void SetPatch(bool value) { patch = value; }
    const std::wstring& GetManagementServerUrl() const { return managementServerUrl; }
    void SetManagementServerUrl(const std::wstring& value) { managementServerUrl = value; }
    bool GetIncludeComponents() const { return includeComponents; }
    void SetIncludeComponents(bool value) { includeComponents = value; }
    bool GetInclude32Bit() const { return include32Bit; }
    void SetInclude32Bit(bool value) { include32Bit = value; }
    bool GetInclude64Bit() const { return include64Bit; }
    void SetInclude64Bit(bool value) { include64Bit = value; }
    bool GetTrafficDetection() const { return trafficDetection; }
    void SetTrafficDetection(bool value) { trafficDetection = value; }
    bool GetExploitPrevention() const { return exploitPrevention; }
    void SetExploitPrevention(bool value) { exploitPrevention = value; }
    bool GetUseSecondaryLocation() const { return useSecondaryLocation; }
    void SetUseSecondaryLocation(bool value) { useSecondaryLocation = value; }
    const std::wstring& GetPrimaryUpdateLocation() const { return primaryUpdateLocation; }
    void SetPrimaryUpdateLocation(const std::wstring& value) { primaryUpdateLocation = value; }
    const std::wstring& GetPrimaryUserName() const { return primaryUserName; }
    void SetPrimaryUserName(const std::wstring& value) { primaryUserName = value; }
    const std::wstring& GetPrimaryPassword() const { return primaryPassword; }
    void SetPrimaryPassword(const std::wstring& value) { primaryPassword = value; }
    const std::wstring& GetSecondaryUpdateLocation() const { return secondaryUpdateLocation; }
    void SetSecondaryUpdateLocation(const std::wstring& value) { secondaryUpdateLocation = value; }
    const std::wstring& GetSecondaryUserName() const { return secondaryUserName; }
    void SetSecondaryUserName(const std::wstring& value) { secondaryUserName = value; }
    const std::wstring& GetSecondaryPassword() const { return secondaryPassword; }
    void SetSecondaryPassword(const std::wstring& value) { secondaryPassword = value; }
    bool GetSilent() const { return silent; }
    void SetSilent(bool value) { silent = value; }
    bool GetNonInteractive() const { return nonInteractive; }
    void SetNonInteractive(bool value) { nonInteractive = value; }
    // Insert with emplace/insert: a name already present keeps its first value.
    ParameterMap& GetSetupParameters() { return setupParameters; }
    const ParameterMap& GetSetupParameters() const { return setupParameters; }
    const KnownParameterMap& GetKnownSetupParameters() const { return knownSetupParameters; }
    const std::wstring& GetProgramFolder() const { return programFolder; }
    void SetProgramFolder(const std::wstring& value) { programFolder = value; }

    // Signing the package with Authenticode: a PKCS#12 file, or a certificate file with a
    // key file or a PKCS#11 key URI (and the token's module); the key's password read from
    // `signPasswordSource` (a file, or "-" for standard input) into `signPassword`.
    const std::wstring& GetSignPkcs12() const { return signPkcs12; }
    void SetSignPkcs12(const std::wstring& value) { signPkcs12 = value; }
    const std::wstring& GetSignCertificate() const { return signCertificate; }
    void SetSignCertificate(const std::wstring& value) { signCertificate = value; }
    const std::wstring& GetSignKey() const { return signKey; }
    void SetSignKey(const std::wstring& value) { signKey = value; }
    const std::wstring& GetSignModule() const { return signModule; }
    void SetSignModule(const std::wstring& value) { signModule = value; }
    const std::wstring& GetSignPasswordSource() const { return signPasswordSource; }
    void SetSignPasswordSource(const std::wstring& value) { signPasswordSource = value; }
    const std::string& GetSignPassword() const { return signPassword; }
    void SetSignPassword(const std::string& value) { signPassword = value; }
    const std::wstring& GetTimestampUrl() const { return timestampUrl; }
    void SetTimestampUrl(const std::wstring& value) { timestampUrl = value; }
    const std::wstring& GetSignDescription() const { return signDescription; }
    void SetSignDescription(const std::wstring& value) { signDescription = value; }
    const std::wstring& GetSignUrl() const { return signUrl; }
    void SetSignUrl(const std::wstring& value) { signUrl = value; }
    // Any signing option given: the package is to be signed.
    bool GetSigning() const
    {
        return !signPkcs12.empty() || !signCertificate.empty() || !signKey.empty() || !signModule.empty() ||
               !signPasswordSource.empty() || !timestampUrl.empty() || !signDescription.empty() || !signUrl.empty();
    }

private:
    bool commandLineMode = false;
    bool skipChecks = false;
    std::wstring sourceFolder;
    std::wstring outputPackage;
    bool outputIsFolder = false;
    bool managed = false;
    bool firewall = false;
    bool patch = false;
    std::wstring managementServerUrl;
    bool includeComponents = true;
    bool include32Bit = true;
    bool include64Bit = true;
    bool trafficDetection = false;
    bool exploitPrevention = false;
    bool useSecondaryLocation = false;
    std::wstring primaryUpdateLocation;
    std::wstring primaryUserName;
    std::wstring primaryPassword;
    std::wstring secondaryUpdateLocation;
    std::wstring secondaryUserName;
    std::wstring secondaryPassword;
    bool silent = false;
    bool nonInteractive = false;
    ParameterMap setupParameters;
    KnownParameterMap knownSetupParameters;
    std::wstring programFolder;
    std::wstring signPkcs12;
    std::wstring signCertificate;
    std::wstring signKey;
    std::wstring signModule;
    std::wstring signPasswordSource;
    std::string signPassword;
    std::wstring timestampUrl;
    std::wstring signDescription;
    std::wstring signUrl;
};
