// A throw-away certificate for the TLS mode of the loopback server, made at
// start so that no key is ever committed.
#include "support/loopback/LoopbackServer.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace tessatest {

static bool AddExtension(X509* cert, int nid, const char* value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext)
        return false;
    bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

bool MakeLoopbackCertificate(void** keyOut, void** certOut, std::string& certPEM)
{
    EVP_PKEY* key = EVP_EC_gen("P-256");
    if (!key)
        return false;
    X509* cert = X509_new();
    bool ok = cert && X509_set_version(cert, 2) == 1;
    ok = ok && ASN1_INTEGER_set(X509_get_serialNumber(cert), 1) == 1;
    ok = ok && X509_gmtime_adj(X509_getm_notBefore(cert), -3600) != nullptr;
    ok = ok && X509_gmtime_adj(X509_getm_notAfter(cert), 2 * 86400) != nullptr;
    ok = ok && X509_set_pubkey(cert, key) == 1;
    if (ok) {
        X509_NAME* name = X509_get_subject_name(cert);
        ok =
            X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                       reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0) == 1 &&
            X509_set_issuer_name(cert, name) == 1;
    }
    ok = ok && AddExtension(cert, NID_basic_constraints, "critical,CA:TRUE");
    ok = ok && AddExtension(cert, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
    ok = ok && X509_sign(cert, key, EVP_sha256()) > 0;
    if (ok) {
        BIO* bio = BIO_new(BIO_s_mem());
        ok = bio && PEM_write_bio_X509(bio, cert) == 1;
        if (ok) {
            char* data = nullptr;
            long len = BIO_get_mem_data(bio, &data);
            certPEM.assign(data, static_cast<size_t>(len));
        }
        BIO_free(bio);
    }
    if (!ok) {
        X509_free(cert);
        EVP_PKEY_free(key);
        return false;
    }
    *keyOut = key;
    *certOut = cert;
    return true;
}

} // namespace tessatest
