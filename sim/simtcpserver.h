#pragma once

#include "result/result.h"

#include <QByteArray>
#include <QString>

#include <utility>

#include <sys/socket.h>

// Where the simulator listens for a master over TCP: a host (a name, an IPv4
// literal, or an IPv6 literal, kept without its brackets) and a port, 0 for
// one the system chooses.
struct SimListenAddress
{
    QString host;
    quint16 port = 0;
};

// Reads "tcp://HOST:PORT", the spelling of kelvora-sim --listen: HOST is a
// name (letters, digits, '-' and '.'), an IPv4 literal such as 127.0.0.1, or
// an IPv6 literal in brackets such as [::1]; PORT is 0..65535, where 0 lets
// the system choose a free one. "tcp://127.0.0.1:0", "tcp://localhost:1502",
// "tcp://[::1]:502". A failure says what is wrong with the text, in words
// for the person who typed it. Nothing is looked up: whether a name resolves
// shows when the server listens.
Result<SimListenAddress> simParseListenAddress(const QString &text);

// A raw TCP server standing in for the line, as a serial device server with
// one port does: the bytes of the one client it serves are the line's bytes
// in both directions, with no framing of their own.
//
// One client at a time. A connection that arrives while a client is served
// is accepted and closed at once, so its master sees the connection end
// rather than wait on a line it will never get; a device server with one
// serial port turns a second client away the same way. The client socket
// has TCP_NODELAY set (each reply byte goes out when it is due, not when
// enough have gathered) and keepalive, so that a client whose host went away
// without closing frees the line within about half a minute.
//
// Every descriptor is non-blocking; nothing here waits. The owner polls
// listenFd() and clientFd() and calls acceptPending() and dropClient().
class SimTcpServer
{
public:
    // What acceptPending() did with a connection waiting on the listener.
    enum class Accepted
    {
        Nothing, // none was waiting
        Client,  // it is the client now
        Refused  // a client was served already: closed at once
    };

    explicit SimTcpServer(SimListenAddress address = {}) : m_address(std::move(address)) {}
    ~SimTcpServer() { close(); }
    SimTcpServer(const SimTcpServer &) = delete;
    SimTcpServer &operator=(const SimTcpServer &) = delete;

    // Listens on the address. A name is resolved and the first of its
    // addresses that can be bound is taken. Once it has listened, it listens
    // again on exactly the address it had (the same port, also when the
    // system chose it), so a master finds it where it was. A failure says
    // why, naming the address.
    Result<> listen();
    // Closes the client and the listener.
    void close();

    bool isListening() const { return m_listener >= 0; }
    int listenFd() const { return m_listener; }
    int clientFd() const { return m_client; }

    // The address listened on as "tcp://127.0.0.1:40123" or
    // "tcp://[::1]:40123", numeric, the port as bound; kept while closed
    // after a first listen(), empty before it.
    QString url() const { return m_url; }
    // The client's address as "127.0.0.1:51234"; empty while none is served.
    QString clientName() const { return m_clientName; }

    // Takes one connection waiting on the listener, if any.
    Accepted acceptPending();
    void dropClient();

    // Hands bytes to the client without waiting. What the socket does not
    // take now is dropped, as a line loses what nobody listens to (a master
    // that reads nothing fills the socket's buffers first). False when the
    // connection has failed, and the client should be dropped.
    bool send(const QByteArray &bytes);

private:
    SimListenAddress m_address;
    sockaddr_storage m_bound{};
    socklen_t m_boundLength = 0;
    int m_listener = -1;
    int m_client = -1;
    QString m_url;
    QString m_clientName;
};
