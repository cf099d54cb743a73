#pragma once

#include <optional>
#include <string>

class PackageOptions;

// The signing options make one complete request: a PKCS#12 file, or a certificate with a
// key file or a PKCS#11 key (with its module); every file named is readable; a time-stamp
// server is an HTTP or HTTPS URL; no secret sits on the command line; and osslsigncode,
// which signs, is installed. What is wrong, in words, or nothing.
std::optional<std::wstring> CheckSigningOptions(const PackageOptions& options);

// Reads the key's password from the file or standard input ("-") that -signpass names,
// up to the end of its first line, into the options. Nothing to read without -signpass.
// What went wrong, or nothing.
std::optional<std::wstring> ReadSigningPassword(PackageOptions& options);
