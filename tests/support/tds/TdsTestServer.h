#pragma once
// A SQL Server stand-in for the tests: speaks TDS 7.2+ on 127.0.0.1 (a free port) to the FreeTDS
// client and answers SQL batches from the embedded engine ("sqlite:FOLDER"). One thread per
// connection reads the socket, a second runs the current batch, so that an ATTENTION (a cancel or
// a query time-out of the client) stops a running statement. `WAITFOR DELAY 'hh:mm:ss[.mmm]'` is
// understood by the server itself (anywhere in a batch; the test server does not look for it in
// strings or comments), which gives the tests a statement that outlives a time-out.
// Like SQL Server it can encrypt the login or the whole session with TLS (TdsChannel), with a
// self-signed certificate made when the first encrypted connection comes.
#include "TdsWire.h"
#include "U_DbResult.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TdsReplay;

class TdsTestServer {
public:
    // What the last client sent in its login packet.
    struct LoginInfo {
        QString User;
        QString Application;
        QString Language;
        QString Database;
        QString ServerName;
        std::uint32_t TdsVersion = 0;
        int PacketSize = 0;
        bool Integrated = false; // integrated (Kerberos) authentication: User is the principal
    };

    // The server's encryption setting, as its PRELOGIN answer shows it.
    enum class Encryption {
        NotSupported, // 0x02: never TLS
        LoginOnly,    // 0x00: the login packet under TLS, the rest in clear (unless the client
                      // asks for more: then the whole session)
        Required,     // 0x01: the whole session under TLS; a client without TLS is turned away
    };

    // One message a client sent, and whether it came under TLS.
    struct ReceivedMessage {
        std::uint8_t Type = 0;
        bool Encrypted = false;
    };

    TdsTestServer(const QString &folder, const QString &user, const QString &password);
    ~TdsTestServer();
    TdsTestServer(const TdsTestServer &) = delete;
    TdsTestServer &operator=(const TdsTestServer &) = delete;

    bool Start(); // listens on 127.0.0.1 on a free port
    void Stop();  // closes every connection and waits for their threads
    int Port() const { return FPort; }
    QString ServerName() const { return QStringLiteral("127.0.0.1,%1").arg(FPort); }
    LoginInfo LastLogin() const;
    // Answers a batch of exactly this text with the given result instead of asking the engine:
    // for values the embedded engine cannot hold (38-digit decimals, long texts).
    // `wireTypes` sends columns as server types the stored result cannot hold (money at its
    // limits, sql_variant).
    void SetCannedResult(const QString &sql, std::shared_ptr<const DbResult> result,
                         std::vector<Tds::WireType> wireTypes = {});
    // Answers a batch of exactly this text with the result's reply encoded here, once, into the
    // packets of a session of `packetSize` bytes (what FreeTDS clients ask for unless told
    // otherwise), which the session then writes as they are, through TLS when it is encrypted:
    // the reply costs the server next to nothing, so that a benchmark measures the clients. The
    // bytes are those of SetCannedResult for the same result; a session of another packet size
    // is answered that way. `SET FMTONLY ON <text> SET FMTONLY OFF`, which freebcp sends first,
    // gets the columns without rows.
    void SetReplayedResult(const QString &sql, std::shared_ptr<const DbResult> result,
                           std::vector<Tds::WireType> wireTypes = {}, int packetSize = 4096);
    int BatchesCancelled() const;        // batches stopped by an ATTENTION
    int BatchesReplayed() const;         // batches answered with pre-encoded packets
    void SetEncryption(Encryption mode); // for the connections that come after
    // Accepts integrated logins (LOGIN7 with the integrated-security flag and a GSS-API token)
    // with the service keys in `keytab`; a client the keys cannot verify is refused with 18452,
    // a verified principal that is not among `logins` with 18456. Without a keytab every
    // integrated login gets 18452.
    void SetIntegratedLogins(const QString &keytab, const QStringList &logins);
    // Accepts an NTLM login (a user written DOMAIN\user) of this one domain account, checked
    // as an NTLMv2 response; any other is refused with 18456.
    void SetNtlmLogin(const QString &domain, const QString &user, const QString &password);
    // The messages of every connection so far, in the order they arrived (handshake packets are
    // not messages), and every byte the clients sent, as read off the sockets.
    std::vector<ReceivedMessage> ReceivedMessages() const;
    QByteArray CapturedBytes() const;
    // What the server wrote back in the same order, as TDS packets before any TLS.
    QByteArray SentBytes() const;
    // A server that leaves ATTENTION unanswered (the running batch goes on as if none came).
    void SetIgnoreAttention(bool ignore) { FIgnoreAttention = ignore; }
    // A pause after every packet of rows, so that a result is still on the way when a client's
    // ATTENTION comes, however fast the machine is.
    void SetPacketPause(int msecs) { FPacketPause = msecs; }

    class Session;

private:
    void AcceptLoop();
    friend class Session;
    void RecordLogin(const LoginInfo &info);
    void RecordCancel();
    void RecordReplay();
    void RecordMessage(std::uint8_t type, bool encrypted);
    void KeepCapture(const QByteArray &bytes, const QByteArray &sent); // of a connection that ended
    struct Canned {
        std::shared_ptr<const DbResult> result;
        std::vector<Tds::WireType> wireTypes;
        std::shared_ptr<const TdsReplay> replay;
    };
    Canned CannedResult(const QString &sql) const;

    QString FFolder;
    QString FUser;
    QString FPassword;
    int FListen = -1;
    int FPort = 0;
    std::thread FAcceptThread;
    mutable std::mutex FLock;
    std::vector<std::unique_ptr<Session>> FSessions;
    LoginInfo FLastLogin;
    int FCancelled = 0;
    int FReplayed = 0;
    Encryption FEncryption = Encryption::NotSupported;
    std::vector<ReceivedMessage> FReceived;
    QByteArray FClosedCapture;
    QByteArray FClosedSent;
    std::atomic<bool> FIgnoreAttention{false};
    std::atomic<int> FPacketPause{0};
    QHash<QString, Canned> FCanned;
    QString FKeytab;
    QStringList FIntegratedLogins;
    QStringList FNtlmAccount; // domain, user, password
};
