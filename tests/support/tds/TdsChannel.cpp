#include "TdsChannel.h"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace {
constexpr std::size_t kHeader = 8;
constexpr std::size_t kPreLoginPacket = 4096; // the packet size before the login
constexpr qsizetype kCaptureLimit = 1 << 20;
constexpr unsigned char kPreLogin = 0x12;

// The server's key and self-signed certificate, made once per process: nothing is kept on disk.
class Credentials {
public:
    Credentials() {
        gnutls_global_init();
        gnutls_x509_privkey_t key = nullptr;
        gnutls_x509_crt_t crt = nullptr;
        const unsigned char serial[] = {0x01, 0x71, 0x2A};
        static const char name[] = "localhost";
        const std::time_t now = std::time(nullptr);
        bool ok = gnutls_x509_privkey_init(&key) == 0 &&
                  gnutls_x509_privkey_generate(key, GNUTLS_PK_ECDSA,
                                               GNUTLS_CURVE_TO_BITS(GNUTLS_ECC_CURVE_SECP256R1),
                                               0) == 0 &&
                  gnutls_x509_crt_init(&crt) == 0 && gnutls_x509_crt_set_version(crt, 3) == 0 &&
                  gnutls_x509_crt_set_serial(crt, serial, sizeof serial) == 0 &&
                  gnutls_x509_crt_set_activation_time(crt, now - 3600) == 0 &&
                  gnutls_x509_crt_set_expiration_time(crt, now + 7 * 86400) == 0 &&
                  gnutls_x509_crt_set_dn_by_oid(crt, GNUTLS_OID_X520_COMMON_NAME, 0, name,
                                                sizeof name - 1) == 0 &&
                  gnutls_x509_crt_set_subject_alt_name(crt, GNUTLS_SAN_DNSNAME, name,
                                                       sizeof name - 1, GNUTLS_FSAN_SET) == 0 &&
                  gnutls_x509_crt_set_key(crt, key) == 0 &&
                  gnutls_x509_crt_set_basic_constraints(crt, 0, -1) == 0 &&
                  gnutls_x509_crt_set_key_usage(crt, GNUTLS_KEY_DIGITAL_SIGNATURE) == 0 &&
                  gnutls_x509_crt_set_key_purpose_oid(crt, GNUTLS_KP_TLS_WWW_SERVER, 0) == 0 &&
                  gnutls_x509_crt_sign2(crt, crt, key, GNUTLS_DIG_SHA256, 0) == 0 &&
                  gnutls_certificate_allocate_credentials(&FCredentials) == 0;
        if (ok && gnutls_certificate_set_x509_key(FCredentials, &crt, 1, key) != 0)
            ok = false;
        if (!ok && FCredentials) {
            gnutls_certificate_free_credentials(FCredentials);
            FCredentials = nullptr;
        }
        if (crt)
            gnutls_x509_crt_deinit(crt);
        if (key)
            gnutls_x509_privkey_deinit(key);
    }
    ~Credentials() {
        if (FCredentials)
            gnutls_certificate_free_credentials(FCredentials);
        gnutls_global_deinit();
    }
    gnutls_certificate_credentials_t Get() const { return FCredentials; }

private:
    gnutls_certificate_credentials_t FCredentials = nullptr;
};

gnutls_certificate_credentials_t ServerCredentials() {
    static const Credentials credentials;
    return credentials.Get();
}
} // namespace

TdsChannel::~TdsChannel() {
    EndTls();
}

QByteArray TdsChannel::Captured() const {
    std::lock_guard lock(FCaptureLock);
    return FCapture;
}

QByteArray TdsChannel::Sent() const {
    std::lock_guard lock(FCaptureLock);
    return FSent;
}

ssize_t TdsChannel::ReceiveRaw(void *data, std::size_t size) {
    ssize_t got;
    do
        got = ::recv(FSocket, data, size, 0);
    while (got < 0 && errno == EINTR);
    if (got > 0) {
        std::lock_guard lock(FCaptureLock);
        if (FCapture.size() < kCaptureLimit)
            FCapture.append(static_cast<const char *>(data), got);
    }
    return got;
}

bool TdsChannel::ReceiveAll(char *data, std::size_t size) {
    while (size > 0) {
        const ssize_t got = ReceiveRaw(data, size);
        if (got <= 0)
            return false;
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool TdsChannel::SendRaw(const char *data, std::size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(FSocket, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool TdsChannel::Read(char *buffer, std::size_t size) {
    while (size > 0) {
        ssize_t got;
        if (FSession) {
            got = gnutls_record_recv(FSession, buffer, size);
            if (got == GNUTLS_E_AGAIN || got == GNUTLS_E_INTERRUPTED)
                continue;
        } else {
            got = ReceiveRaw(buffer, size);
        }
        if (got <= 0)
            return false;
        buffer += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool TdsChannel::Write(const char *data, std::size_t size) {
    {
        std::lock_guard lock(FCaptureLock);
        if (FSent.size() < kCaptureLimit)
            FSent.append(data, static_cast<qsizetype>(
                                   std::min<std::size_t>(size, kCaptureLimit - FSent.size())));
    }
    if (!FSession)
        return SendRaw(data, size);
    while (size > 0) {
        const ssize_t sent = gnutls_record_send(FSession, data, size);
        if (sent == GNUTLS_E_AGAIN || sent == GNUTLS_E_INTERRUPTED)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

// TLS reads: during the handshake from the payload of PRELOGIN packets (answering what TLS has
// written first), afterwards from the socket itself.
ssize_t TdsChannel::Pull(void *channel, void *data, std::size_t size) {
    auto *self = static_cast<TdsChannel *>(channel);
    if (self->FHandshaking) {
        if (!self->FlushHandshake())
            return -1;
        while (self->FHandshakeIn.isEmpty()) {
            unsigned char header[kHeader];
            if (!self->ReceiveAll(reinterpret_cast<char *>(header), kHeader))
                return 0;
            const std::size_t length = static_cast<std::size_t>(header[2] << 8 | header[3]);
            if (length < kHeader)
                return -1;
            QByteArray payload(static_cast<qsizetype>(length - kHeader), '\0');
            if (!self->ReceiveAll(payload.data(), length - kHeader))
                return 0;
            self->FHandshakeIn += payload;
        }
    }
    if (!self->FHandshakeIn.isEmpty()) {
        const auto n =
            std::min<std::size_t>(size, static_cast<std::size_t>(self->FHandshakeIn.size()));
        std::copy_n(self->FHandshakeIn.constData(), n, static_cast<char *>(data));
        self->FHandshakeIn.remove(0, static_cast<qsizetype>(n));
        return static_cast<ssize_t>(n);
    }
    const ssize_t got = self->ReceiveRaw(data, size);
    if (got < 0)
        gnutls_transport_set_errno(self->FSession, errno);
    return got;
}

ssize_t TdsChannel::Push(void *channel, const void *data, std::size_t size) {
    auto *self = static_cast<TdsChannel *>(channel);
    if (self->FHandshaking) {
        self->FHandshakeOut.append(static_cast<const char *>(data), static_cast<qsizetype>(size));
        return static_cast<ssize_t>(size);
    }
    if (!self->SendRaw(static_cast<const char *>(data), size)) {
        gnutls_transport_set_errno(self->FSession, errno ? errno : EPIPE);
        return -1;
    }
    return static_cast<ssize_t>(size);
}

// Sends what TLS wrote during the handshake as PRELOGIN packets, the last one ending the message.
bool TdsChannel::FlushHandshake() {
    const std::size_t body = kPreLoginPacket - kHeader;
    std::size_t sent = 0;
    const auto total = static_cast<std::size_t>(FHandshakeOut.size());
    while (sent < total) {
        const std::size_t chunk = std::min(body, total - sent);
        const bool last = sent + chunk == total;
        const char header[kHeader] = {static_cast<char>(kPreLogin),
                                      static_cast<char>(last ? 1 : 0),
                                      static_cast<char>((chunk + kHeader) >> 8),
                                      static_cast<char>((chunk + kHeader) & 0xFF),
                                      0,
                                      0,
                                      0,
                                      0};
        if (!SendRaw(header, kHeader) || !SendRaw(FHandshakeOut.constData() + sent, chunk))
            return false;
        sent += chunk;
    }
    FHandshakeOut.clear();
    return true;
}

bool TdsChannel::StartTls() {
    const gnutls_certificate_credentials_t credentials = ServerCredentials();
    if (!credentials || FSession)
        return false;
    gnutls_session_t session = nullptr;
    // TLS 1.2, which SQL Server negotiates for TDS 7.x; no session tickets, which TLS would send
    // after the handshake, when the client no longer expects PRELOGIN packets.
    if (gnutls_init(&session, GNUTLS_SERVER | GNUTLS_NO_TICKETS) != 0)
        return false;
    FSession = session;
    if (gnutls_priority_set_direct(session, "NORMAL:-VERS-ALL:+VERS-TLS1.2", nullptr) != 0 ||
        gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, credentials) != 0) {
        EndTls();
        return false;
    }
    gnutls_certificate_server_set_request(session, GNUTLS_CERT_IGNORE);
    gnutls_transport_set_ptr(session, this);
    gnutls_transport_set_pull_function(
        session, [](gnutls_transport_ptr_t p, void *d, std::size_t n) { return Pull(p, d, n); });
    gnutls_transport_set_push_function(session, [](gnutls_transport_ptr_t p, const void *d,
                                                   std::size_t n) { return Push(p, d, n); });
    FHandshaking = true;
    int rc;
    do
        rc = gnutls_handshake(session);
    while (rc < 0 && !gnutls_error_is_fatal(rc));
    const bool flushed = FlushHandshake();
    FHandshaking = false;
    if (rc < 0 || !flushed) {
        EndTls();
        return false;
    }
    return true;
}

void TdsChannel::EndTls() {
    if (!FSession)
        return;
    gnutls_deinit(FSession);
    FSession = nullptr;
    FHandshakeIn.clear();
    FHandshakeOut.clear();
}
