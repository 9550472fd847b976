#include "tests/support/TestCertificates.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fstream>
#include <memory>
#include <stdexcept>

namespace testsupport {
namespace {

template <typename T, void (*Free)(T *)> struct Deleter {
    void operator()(T *p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

void Check(bool ok, const char *what) {
    if (!ok)
        throw std::runtime_error(std::string("test certificates: ") + what);
}

KeyPtr NewKey() {
    KeyPtr key(EVP_EC_gen("P-256"));
    Check(key != nullptr, "no key");
    return key;
}

std::string BioText(BIO *bio) {
    char *data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<std::size_t>(length));
}

std::string CertificatePem(X509 *certificate) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    Check(PEM_write_bio_X509(bio.get(), certificate) == 1, "cannot write a certificate");
    return BioText(bio.get());
}

std::string KeyPem(EVP_PKEY *key) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    Check(PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1,
          "cannot write a key");
    return BioText(bio.get());
}

CertPtr ReadCertificate(const std::string &pem) {
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    CertPtr certificate(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    Check(certificate != nullptr, "cannot read a certificate");
    return certificate;
}

KeyPtr ReadKey(const std::string &pem) {
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    KeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    Check(key != nullptr, "cannot read a key");
    return key;
}

void AddExtension(X509 *certificate, X509 *issuer, int nid, const std::string &value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    Check(extension != nullptr, "bad extension");
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

CertPtr NewCertificate(EVP_PKEY *key, const std::string &commonName, long notBefore,
                       long notAfter) {
    CertPtr certificate(X509_new());
    X509_set_version(certificate.get(), 2);
    unsigned char serial[8];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7F;
    BIGNUM *number = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(number, X509_get_serialNumber(certificate.get()));
    BN_free(number);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), notBefore);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), notAfter);
    X509_set_pubkey(certificate.get(), key);
    X509_NAME *name = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char *>(commonName.c_str()), -1, -1,
                               0);
    return certificate;
}

} // namespace

TestCertificate MakeCertificateAuthority(const std::string &commonName) {
    KeyPtr key = NewKey();
    CertPtr certificate = NewCertificate(key.get(), commonName, -3600, 10L * 24 * 3600);
    X509_set_issuer_name(certificate.get(), X509_get_subject_name(certificate.get()));
    AddExtension(certificate.get(), certificate.get(), NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(certificate.get(), certificate.get(), NID_key_usage,
                 "critical,keyCertSign,cRLSign");
    AddExtension(certificate.get(), certificate.get(), NID_subject_key_identifier, "hash");
    Check(X509_sign(certificate.get(), key.get(), EVP_sha256()) > 0, "cannot sign");
    return {CertificatePem(certificate.get()), KeyPem(key.get())};
}

TestCertificate MakeLeafCertificate(const TestCertificate &authority, const LeafOptions &options) {
    CertPtr issuer = ReadCertificate(authority.certificatePem);
    KeyPtr issuerKey = ReadKey(authority.keyPem);
    KeyPtr key = NewKey();
    const std::string commonName = options.names.empty() ? "leaf" : options.names.front();
    CertPtr certificate =
        NewCertificate(key.get(), commonName, options.notBeforeSeconds, options.notAfterSeconds);
    X509_set_issuer_name(certificate.get(), X509_get_subject_name(issuer.get()));
    AddExtension(certificate.get(), issuer.get(), NID_basic_constraints, "critical,CA:FALSE");
    AddExtension(certificate.get(), issuer.get(), NID_ext_key_usage, "serverAuth");
    AddExtension(certificate.get(), issuer.get(), NID_authority_key_identifier, "keyid:always");
    std::string names;
    for (const auto &name : options.names) {
        if (!names.empty())
            names += ",";
        names += name.rfind("IP:", 0) == 0 ? name : "DNS:" + name;
    }
    if (!names.empty())
        AddExtension(certificate.get(), issuer.get(), NID_subject_alt_name, names);
    Check(X509_sign(certificate.get(), issuerKey.get(), EVP_sha256()) > 0, "cannot sign");
    return {CertificatePem(certificate.get()), KeyPem(key.get())};
}

TrustedAuthority::TrustedAuthority() : authority_(MakeCertificateAuthority("Nimbrel Test CA")) {
    std::ofstream(File()) << authority_.certificatePem;
}

std::shared_ptr<const net::TlsClientContext> TrustedAuthority::Context() const {
    return std::make_shared<const net::TlsClientContext>(net::TlsSettings{File(), {}});
}

TestCertificate TrustedAuthority::Leaf(std::vector<std::string> names) const {
    return MakeLeafCertificate(authority_, {std::move(names)});
}

} // namespace testsupport
