#include "support/SigningFixture.h"

#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/ChildRun.h"
#include "support/Files.h"

namespace TestSupport {

namespace fs = std::filesystem;

namespace {

void Run(const std::string& program, const std::vector<std::string>& arguments)
{
    ChildOptions options;
    options.input = "";
    const ChildResult result = RunChild(program, arguments, options);
    if (result.exitCode != 0)
        throw std::runtime_error(program + " " + (arguments.empty() ? "" : arguments.front()) +
                                 " failed: " + result.err);
}

void NewKey(const fs::path& key)
{
    Run("/usr/bin/openssl",
        {"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", key.string()});
}

}  // namespace

SigningFixture::SigningFixture(const fs::path& where) : folder(where)
{
    fs::create_directories(folder / "issued");
    const fs::path caKey = folder / "ca.key";
    ca = folder / "ca.pem";
    NewKey(caKey);
    Run("/usr/bin/openssl", {"req", "-x509", "-new", "-key", caKey.string(), "-out", ca.string(), "-days", "30",
                             "-subj", "/CN=Halvex Test CA", "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                             "keyUsage=critical,keyCertSign,cRLSign"});
    WriteBytes(folder / "issued/index.txt", "");
    WriteBytes(folder / "issued/serial", "1000\n");
    WriteBytes(folder / "ca.cnf",
               "[ ca ]\ndefault_ca = test\n[ test ]\ndir = " + (folder / "issued").string() +
                   "\ndatabase = $dir/index.txt\nserial = $dir/serial\nnew_certs_dir = $dir\n"
                   "certificate = " +
                   ca.string() + "\nprivate_key = " + caKey.string() +
                   "\ndefault_md = sha256\npolicy = anything\nunique_subject = no\n"
                   "copy_extensions = none\ndefault_days = 10\n"
                   "[ anything ]\ncommonName = supplied\norganizationName = optional\n"
                   "[ codesign ]\nbasicConstraints = CA:FALSE\nkeyUsage = critical,digitalSignature\n"
                   "extendedKeyUsage = codeSigning\n"
                   "[ server ]\nbasicConstraints = CA:FALSE\nkeyUsage = critical,digitalSignature\n"
                   "extendedKeyUsage = serverAuth\n"
                   "[ tsa ]\nbasicConstraints = CA:FALSE\nkeyUsage = critical,digitalSignature\n"
                   "extendedKeyUsage = critical,timeStamping\n");
    // Each certificate from a request for `key`, with the chain after it.
    const auto issue = [&](const fs::path& subjectKey, const std::string& subject, const std::string& extensions,
                           const std::vector<std::string>& dates, const std::string& name) {
        const fs::path request = folder / (name + ".csr");
        const fs::path alone = folder / (name + ".alone.pem");
        Run("/usr/bin/openssl",
            {"req", "-new", "-key", subjectKey.string(), "-out", request.string(), "-subj", subject});
        std::vector<std::string> arguments = {
            "ca",  "-batch",         "-notext", "-config",     (folder / "ca.cnf").string(), "-extensions", extensions,
            "-in", request.string(), "-out",    alone.string()};
        arguments.insert(arguments.end(), dates.begin(), dates.end());
        Run("/usr/bin/openssl", arguments);
        const fs::path chained = folder / (name + ".pem");
        WriteBytes(chained, ReadBytes(alone) + ReadBytes(ca));
        return chained;
    };
    key = folder / "signer.key";
    NewKey(key);
    certificate = issue(key, "/CN=Halvex Test Signer/O=Halvex Tests", "codesign", {}, "signer");
    expiredCertificate = issue(key, "/CN=Halvex Expired Signer", "codesign",
                               {"-startdate", "20200101000000Z", "-enddate", "20201231000000Z"}, "expired");
    serverCertificate = issue(key, "/CN=Halvex Server", "server", {}, "server");
    tsaKey = folder / "tsa.key";
    NewKey(tsaKey);
    tsaCertificate = issue(tsaKey, "/CN=Halvex Test TSA", "tsa", {}, "tsa");

    passwordFile = folder / "password.txt";
    WriteBytes(passwordFile, std::string(kPassword) + "\n");
    encryptedKey = folder / "signer-encrypted.key";
    Run("/usr/bin/openssl", {"pkey", "-in", key.string(), "-aes256", "-passout", "file:" + passwordFile.string(),
                             "-out", encryptedKey.string()});
    pkcs12 = folder / "signer.p12";
    Run("/usr/bin/openssl", {"pkcs12", "-export", "-inkey", key.string(), "-in", certificate.string(), "-out",
                             pkcs12.string(), "-passout", "file:" + passwordFile.string()});
}

std::string SigningFixture::TokenKey()
{
    const fs::path store = folder / "token";
    fs::create_directories(store / "tokens");
    WriteBytes(store / "softhsm2.conf", "directories.tokendir = " + (store / "tokens").string() +
                                            "\nobjectstore.backend = file\nlog.level = ERROR\n");
    ::setenv("SOFTHSM2_CONF", (store / "softhsm2.conf").c_str(), 1);
    Run("/usr/bin/softhsm2-util",
        {"--init-token", "--free", "--label", "halvex-signing", "--pin", kPassword, "--so-pin", "so-pin-1"});
    const fs::path pkcs8 = folder / "signer.pk8";
    Run("/usr/bin/openssl", {"pkcs8", "-topk8", "-nocrypt", "-in", key.string(), "-out", pkcs8.string()});
    Run("/usr/bin/softhsm2-util", {"--import", pkcs8.string(), "--token", "halvex-signing", "--label", "signer", "--id",
                                   "01", "--pin", kPassword});
    return "pkcs11:token=halvex-signing;object=signer;type=private";
}

TimeStampAuthority::TimeStampAuthority(const SigningFixture& fixture)
{
    const fs::path folder = fixture.folder / "tsa";
    fs::create_directories(folder);
    fs::copy_file(fixture.tsaKey, folder / "tsa.key");
    fs::copy_file(fixture.tsaCertificate, folder / "tsa.pem");
    fs::copy_file(fixture.ca, folder / "ca.pem");
    pid = ::fork();
    if (pid == 0) {
        ::execlp("python3", "python3", HALVEX_TSA_SCRIPT, folder.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // It writes its port once it listens.
    for (int i = 0; i < 3000 && !fs::exists(folder / "port"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!fs::exists(folder / "port"))
        throw std::runtime_error("the time-stamp authority did not start");
    url = "http://127.0.0.1:" + ReadBytes(folder / "port");
}

TimeStampAuthority::~TimeStampAuthority()
{
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
}

std::string UnreachableUrl()
{
    // A port the system hands out and nobody listens on once it is closed again.
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(socket, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(socket);
    return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

}  // namespace TestSupport
