// One ornament to a Wayland desktop, and what another lumetta asks of it. The ornament that
// hangs holds a lock on a file in XDG_RUNTIME_DIR for its life, named for the desktop
// (WAYLAND_DISPLAY), and listens on a socket beside it. Another sends a request there as one
// line and is answered once it is taken; after a stop, the connection ends as the ornament
// does.
#pragma once

#include "ornament/request.h"

#include <string>
#include <vector>

// The lock's and the socket's paths.
struct RuntimePlace {
    std::string lock, socket;
};
// The place for the desktop named display (WAYLAND_DISPLAY as given). Returns an empty string,
// or why there is none (XDG_RUNTIME_DIR unset, or too long a path for a socket).
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

    // The listening socket, readable when a request waits.
    int ListenDescriptor() const { return m_listen; }
    // The requests waiting, each answered as taken; a connection that asked for a stop stays
    // open until the claim goes.
    std::vector<OrnamentRequest> TakeRequests();

private:
    int m_lock = -1;
    int m_listen = -1;
    std::string m_socketPath;
    std::vector<int> m_waiting;  // connections that wait for the ornament to go
};
