#pragma once

#include <string>

// A throw-away TLS identity for the test server: a self-signed certificate for 127.0.0.1 and
// "localhost", valid from an hour ago for a day. The certificate is its own CA, so a client that
// trusts the certificate file accepts the server and every other client refuses it.
namespace testserver {

// Writes the certificate and its private key as PEM files. False when OpenSSL fails. A negative
// `endsInSeconds` writes one that has already expired.
bool writeTestCertificate(const std::string& certificatePath, const std::string& keyPath,
                          long endsInSeconds = 24 * 3600);

}  // namespace testserver
