#include "TdsNtlm.h"

#include <nettle/hmac.h>
#include <nettle/md4.h>

#include <QRandomGenerator>

#include <cstdint>

namespace {
const QByteArray kSignature("NTLMSSP\0", 8);
constexpr std::uint32_t kUnicode = 0x00000001;
constexpr std::uint32_t kRequestTarget = 0x00000004;
constexpr std::uint32_t kNtlm = 0x00000200;
constexpr std::uint32_t kAlwaysSign = 0x00008000;
constexpr std::uint32_t kTargetTypeDomain = 0x00010000;
constexpr std::uint32_t kExtendedSecurity = 0x00080000;
constexpr std::uint32_t kTargetInfo = 0x00800000;

std::uint32_t Le32(const QByteArray &d, int at) {
    if (at + 4 > d.size())
        return 0;
    return static_cast<std::uint32_t>(static_cast<unsigned char>(d[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d[at + 3])) << 24;
}

std::uint16_t Le16(const QByteArray &d, int at) {
    if (at + 2 > d.size())
        return 0;
    return static_cast<std::uint16_t>(static_cast<unsigned char>(d[at]) |
                                      static_cast<unsigned char>(d[at + 1]) << 8);
}

void Put16(QByteArray &d, std::uint16_t v) {
    d.append(static_cast<char>(v & 0xFF));
    d.append(static_cast<char>(v >> 8));
}

void Put32(QByteArray &d, std::uint32_t v) {
    Put16(d, static_cast<std::uint16_t>(v & 0xFFFF));
    Put16(d, static_cast<std::uint16_t>(v >> 16));
}

QByteArray Utf16(const QString &text) {
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

// A field of a message: length, allocated length and offset from the message's start.
QByteArray Field(const QByteArray &message, int at) {
    const int length = Le16(message, at);
    const auto offset = static_cast<qsizetype>(Le32(message, at + 4));
    if (offset + length > message.size())
        return {};
    return message.mid(offset, length);
}

QByteArray HmacMd5(const QByteArray &key, const QByteArray &data) {
    hmac_md5_ctx context;
    hmac_md5_set_key(&context, static_cast<size_t>(key.size()),
                     reinterpret_cast<const uint8_t *>(key.constData()));
    hmac_md5_update(&context, static_cast<size_t>(data.size()),
                    reinterpret_cast<const uint8_t *>(data.constData()));
    QByteArray digest(MD5_DIGEST_SIZE, '\0');
    hmac_md5_digest(&context, MD5_DIGEST_SIZE, reinterpret_cast<uint8_t *>(digest.data()));
    return digest;
}

QByteArray Md4(const QByteArray &data) {
    md4_ctx context;
    md4_init(&context);
    md4_update(&context, static_cast<size_t>(data.size()),
               reinterpret_cast<const uint8_t *>(data.constData()));
    QByteArray digest(MD4_DIGEST_SIZE, '\0');
    md4_digest(&context, MD4_DIGEST_SIZE, reinterpret_cast<uint8_t *>(digest.data()));
    return digest;
}
} // namespace

TdsNtlmAcceptor::TdsNtlmAcceptor(const QString &domain, const QString &user,
                                 const QString &password)
    : FDomain(domain), FUser(user), FPassword(password) {}

bool TdsNtlmAcceptor::IsNtlm(const QByteArray &token) {
    return token.startsWith(kSignature);
}

QByteArray TdsNtlmAcceptor::Challenge(const QByteArray &negotiate) {
    if (!IsNtlm(negotiate) || Le32(negotiate, 8) != 1)
        return {};
    FServerChallenge.resize(8);
    for (char &c : FServerChallenge)
        c = static_cast<char>(QRandomGenerator::global()->bounded(256));
    const QByteArray target = Utf16(FDomain.toUpper());
    // Target information: the NetBIOS domain name (2), then the end of the list (0).
    QByteArray info;
    Put16(info, 2);
    Put16(info, static_cast<std::uint16_t>(target.size()));
    info += target;
    Put32(info, 0);
    const std::uint32_t flags = kUnicode | kRequestTarget | kNtlm | kAlwaysSign |
                                kTargetTypeDomain | kExtendedSecurity | kTargetInfo;
    constexpr int header = 48;
    QByteArray m = kSignature;
    Put32(m, 2);
    Put16(m, static_cast<std::uint16_t>(target.size()));
    Put16(m, static_cast<std::uint16_t>(target.size()));
    Put32(m, header);
    Put32(m, flags);
    m += FServerChallenge;
    m += QByteArray(8, '\0');
    Put16(m, static_cast<std::uint16_t>(info.size()));
    Put16(m, static_cast<std::uint16_t>(info.size()));
    Put32(m, static_cast<std::uint32_t>(header + target.size()));
    m += target;
    m += info;
    return m;
}

bool TdsNtlmAcceptor::Verify(const QByteArray &authenticate, QString *login) const {
    if (!IsNtlm(authenticate) || Le32(authenticate, 8) != 3 || FServerChallenge.isEmpty())
        return false;
    const QByteArray nt = Field(authenticate, 20);
    const QByteArray domain = Field(authenticate, 28);
    const QByteArray user = Field(authenticate, 36);
    auto text = [](const QByteArray &bytes) {
        return QString(reinterpret_cast<const QChar *>(bytes.constData()), bytes.size() / 2);
    };
    if (login)
        *login = text(domain) + u'\\' + text(user);
    if (nt.size() <= 24) // an NTLMv1 response: not accepted, as a current server refuses it
        return false;
    if (text(user).compare(FUser, Qt::CaseInsensitive) != 0 ||
        text(domain).compare(FDomain, Qt::CaseInsensitive) != 0)
        return false;
    // NTOWFv2 = HMAC-MD5(MD4(password), UPPER(user) + domain); the proof is HMAC-MD5 of the
    // server's challenge and the client's blob under it.
    const QByteArray key = HmacMd5(Md4(Utf16(FPassword)), Utf16(text(user).toUpper()) + domain);
    const QByteArray proof = HmacMd5(key, FServerChallenge + nt.mid(16));
    return proof == nt.left(16);
}
