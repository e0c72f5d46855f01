#pragma once

#include <string>

// A throw-away TLS identity for the test server: a self-signed certificate for 127.0.0.1 and
// "localhost", valid from an hour ago for a day. The certificate is its own CA, so a client that
// trusts the certificate file accepts the server and every other client refuses it.
namespace testserver {

// Writes the certificate and its private key as PEM files. False when OpenSSL fails.
bool writeTestCertificate(const std::string& certificatePath, const std::string& keyPath);

}  // namespace testserver
