#pragma once

#include <string>
#include <vector>

// Certificates made in the test with OpenSSL, for TLS tests that need no files checked in: a
// certificate authority and leaf certificates it signs, each with its private key, as PEM.
namespace testsupport {

struct TestCertificate {
    std::string certificatePem;
    std::string keyPem;
};

struct LeafOptions {
    // Subject alternative names: DNS names, or addresses given as "IP:127.0.0.1".
    std::vector<std::string> names{"localhost"};
    // Validity relative to now, in seconds (negative: in the past).
    long notBeforeSeconds = -3600;
    long notAfterSeconds = 24 * 3600;
};

// A self-signed certificate authority (P-256 key) named commonName.
TestCertificate MakeCertificateAuthority(const std::string &commonName);
// A server certificate for options.names, signed by authority.
TestCertificate MakeLeafCertificate(const TestCertificate &authority, const LeafOptions &options);

} // namespace testsupport
