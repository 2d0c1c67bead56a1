#pragma once
// The byte stream between the test server and one client: the plain socket, or TLS over it.
// As SQL Server does it, the TLS handshake travels inside PRELOGIN packets (type 0x12); once it is
// done the TLS records go on the socket as they are, and the TDS packets travel inside them. For
// encryption of the login only, the stream goes back to plain TDS after the login packet.
//
// One thread may read while another writes (the session's reader and its batch worker); GnuTLS
// allows one sender and one receiver on a session at the same time.
#include <QByteArray>

#include <cstddef>
#include <mutex>
#include <sys/types.h>

class TdsChannel {
public:
    explicit TdsChannel(int socket) : FSocket(socket) {}
    ~TdsChannel();
    TdsChannel(const TdsChannel &) = delete;
    TdsChannel &operator=(const TdsChannel &) = delete;

    bool Read(char *buffer, std::size_t size); // exactly `size` bytes; false at the end or an error
    bool Write(const char *data, std::size_t size);

    // Runs the server's side of the TLS handshake wrapped in PRELOGIN packets; false when it
    // failed (the connection is then unusable).
    bool StartTls();
    // Leaves TLS without closing it, as a server does after an encrypted login packet.
    void EndTls();
    bool Encrypted() const { return FSession != nullptr; }

    // Every byte read off the socket so far (up to a limit), as a packet capture would show the
    // client's side of the conversation.
    QByteArray Captured() const;
    // Every TDS byte written to the client so far (up to the same limit), before any TLS: the
    // server's side of the conversation as the client decodes it.
    QByteArray Sent() const;

private:
    static ssize_t Pull(void *channel, void *data, std::size_t size);
    static ssize_t Push(void *channel, const void *data, std::size_t size);
    ssize_t ReceiveRaw(void *data, std::size_t size);
    bool ReceiveAll(char *data, std::size_t size);
    bool SendRaw(const char *data, std::size_t size);
    bool FlushHandshake();

    int FSocket;
    struct gnutls_session_int *FSession = nullptr;
    bool FHandshaking = false;
    QByteArray FHandshakeIn; // payload of the PRELOGIN packets not yet handed to TLS
    QByteArray FHandshakeOut;
    mutable std::mutex FCaptureLock;
    QByteArray FCapture;
    QByteArray FSent;
};
