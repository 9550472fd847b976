#pragma once

#include "net/IdSSLConnectionIntercept.h"
#include "tests/support/TempFolder.h"

#include <memory>
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

// A certificate authority of the test's own, written to a PEM file that lives as long as the
// object, and a TLS context that trusts it alone.
class TrustedAuthority {
public:
    TrustedAuthority();

    const TestCertificate &Authority() const { return authority_; }
    std::string File() const { return folder_.PathOf("ca.pem"); }
    std::shared_ptr<const net::TlsClientContext> Context() const;
    // A server certificate for names, signed by this authority.
    TestCertificate Leaf(std::vector<std::string> names) const;

private:
    TempFolder folder_;
    TestCertificate authority_;
};

} // namespace testsupport
