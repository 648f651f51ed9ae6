// One ornament to a desktop, and what another lumetta asks of it, through the user's private
// runtime folder (XDG_RUNTIME_DIR): the ornament that hangs holds a lock on a file there for
// its life, named for the desktop, and listens on a socket beside it. Another sends a request
// there as one line and is answered once it is taken; after a stop, the connection ends as
// the ornament does. Each side talks only to a process of its own user.
#pragma once

#include "ornament/request.h"

#include <chrono>
#include <string>
#include <vector>

// The lock's and the socket's paths.
struct RuntimePlace {
    std::string lock, socket;
};
// The place for the Wayland desktop that display names (WAYLAND_DISPLAY: a name in the runtime
// folder, or a path), one for every way of naming the same socket. Returns an empty string,
// or why there is none: XDG_RUNTIME_DIR unset, not the user's own, open to others, or too
// long a path for a socket.
std::string FindRuntimePlace(const std::string& display, RuntimePlace& place);

// Another ornament's, as one that asks sees it.
class CRuntimeContact {
public:
    CRuntimeContact() = default;
    ~CRuntimeContact();
    CRuntimeContact(const CRuntimeContact&) = delete;
    CRuntimeContact& operator=(const CRuntimeContact&) = delete;

    long Pid() const { return m_pid; }
    // Sends request and waits up to limitMs for it to be taken.
    bool Send(const OrnamentRequest& request, int limitMs);
    // Waits up to limitMs for the ornament to be gone.
    bool WaitGone(int limitMs);

private:
    friend class CRuntimeClaim;
    int m_socket = -1;
    long m_pid = -1;
};

// The ornament's own hold on its place.
class CRuntimeClaim {
public:
    using Clock = std::chrono::steady_clock;

    CRuntimeClaim() = default;
    // Stops listening and lets the place go: whoever waits for the ornament to go sees it gone.
    ~CRuntimeClaim();
    CRuntimeClaim(const CRuntimeClaim&) = delete;
    CRuntimeClaim& operator=(const CRuntimeClaim&) = delete;

    enum class Outcome {
        Taken,   // this process hangs the ornament, and listens
        Held,    // another hangs it, and other reaches it
        Failed,  // error says why
    };
    // Takes place for this process, or reaches the one that holds it. One that holds it but does
    // not listen yet (it is starting) is waited for, up to limitMs, as is one that goes meanwhile.
    Outcome Claim(const RuntimePlace& place, int limitMs, CRuntimeContact& other, std::string& error);
    // Whether another holds the place now, without taking it; reaches it when it does.
    static bool FindHolder(const RuntimePlace& place, int limitMs, CRuntimeContact& other);

    // The listening socket, readable when someone connects; -1 when not taken.
    int ListenDescriptor() const { return m_listen; }
    const std::string& SocketPath() const { return m_socketPath; }
    // Never waits: takes the connections waiting, reads what each has sent, and returns the
    // requests that came whole, each answered as taken (a stop's connection stays open until
    // the claim goes). A connection of another user, one that sends more than 4 KiB without a
    // line's end, and one that says nothing for 5 seconds are closed.
    std::vector<OrnamentRequest> Serve();

private:
    struct Connection {
        int socket = -1;
        std::string line;
        Clock::time_point since;
    };

    int m_lock = -1;
    int m_listen = -1;
    std::string m_socketPath;
    std::vector<Connection> m_reading;  // connections whose line is still coming
    std::vector<int> m_waiting;         // connections that wait for the ornament to go
};
