#include "ornament/runtime_control.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// How long a request's line may take to arrive whole once its connection is taken.
constexpr int kLineMilliseconds = 1000;
// How often one that waits for a starting ornament to listen looks again.
constexpr auto kLookAgain = std::chrono::milliseconds(20);

int LeftMs(Clock::time_point end)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

sockaddr_un Address(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

// Reads one line from descriptor into line, waiting up to limitMs. False at its end, an
// error or the limit.
bool ReadLine(int descriptor, std::string& line, int limitMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    line.clear();
    for (;;) {
        const std::size_t newline = line.find('\n');
        if (newline != std::string::npos) {
            line.resize(newline);
            return true;
        }
        pollfd wait = {descriptor, POLLIN, 0};
        if (::poll(&wait, 1, LeftMs(end)) <= 0)
            return false;
        char bytes[256];
        const ssize_t got = ::read(descriptor, bytes, sizeof bytes);
        if (got <= 0 || line.size() > 4096)
            return false;
        line.append(bytes, static_cast<std::size_t>(got));
    }
}

bool WriteAll(int descriptor, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::send(descriptor, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

// Connects to the socket at path; the listener's process in pid.
int Connect(const std::string& path, long& pid)
{
    const int connection = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connection < 0)
        return -1;
    const sockaddr_un address = Address(path);
    if (::connect(connection, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(connection);
        return -1;
    }
    ucred peer{};
    socklen_t size = sizeof peer;
    pid = ::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 ? peer.pid : -1;
    return connection;
}

// A name for display that a file name can hold: the name itself when it is a plain one, as
// wayland-0 is, else a hash of it (a path to the socket is allowed).
std::string DisplayKey(const std::string& display)
{
    const bool plain = !display.empty() && display.size() <= 32 &&
                       display.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.") ==
                           std::string::npos &&
                       display[0] != '.';
    if (plain)
        return display;
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const unsigned char c : display)
        hash = (hash ^ c) * 1099511628211ull;
    char text[17];
    (void)std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

}  // namespace

std::string FindRuntimePlace(const std::string& display, RuntimePlace& place)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || runtime[0] != '/')
        return "XDG_RUNTIME_DIR is not set to a folder, so whether one hangs already cannot be told";
    const std::string base = std::string(runtime) + "/lumetta-ornament-" + DisplayKey(display);
    if (base.size() + 7 >= sizeof(sockaddr_un::sun_path))
        return "XDG_RUNTIME_DIR is too long a path for the ornament's socket";
    place.lock = base + ".lock";
    place.socket = base + ".socket";
    return {};
}

CRuntimeContact::~CRuntimeContact()
{
    if (m_socket >= 0)
        ::close(m_socket);
}

bool CRuntimeContact::Send(const OrnamentRequest& request, int limitMs)
{
    std::string answer;
    return m_socket >= 0 && WriteAll(m_socket, RequestText(request) + "\n") && ReadLine(m_socket, answer, limitMs) &&
           answer == "taken";
}

bool CRuntimeContact::WaitGone(int limitMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        pollfd wait = {m_socket, POLLIN, 0};
        if (::poll(&wait, 1, LeftMs(end)) <= 0)
            return false;
        char byte = 0;
        if (::read(m_socket, &byte, 1) <= 0)
            return true;
    }
}

CRuntimeClaim::~CRuntimeClaim()
{
    if (m_listen >= 0) {
        ::unlink(m_socketPath.c_str());
        ::close(m_listen);
    }
    for (const int connection : m_waiting)
        ::close(connection);
    if (m_lock >= 0)
        ::close(m_lock);
}

CRuntimeClaim::Outcome CRuntimeClaim::Claim(const RuntimePlace& place, int limitMs, CRuntimeContact& other,
                                            std::string& error)
{
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    const int lock = ::open(place.lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0) {
        error = "cannot open " + place.lock + ": " + std::strerror(errno);
        return Outcome::Failed;
    }
    for (;;) {
        if (::flock(lock, LOCK_EX | LOCK_NB) == 0)
            break;
        if (errno != EWOULDBLOCK) {
            error = "cannot lock " + place.lock + ": " + std::strerror(errno);
            ::close(lock);
            return Outcome::Failed;
        }
        if (const int connection = Connect(place.socket, other.m_pid); connection >= 0) {
            other.m_socket = connection;
            ::close(lock);
            return Outcome::Held;
        }
        if (LeftMs(end) == 0) {
            error = "another lumetta holds " + place.lock + " but does not answer";
            ::close(lock);
            return Outcome::Failed;
        }
        std::this_thread::sleep_for(kLookAgain);
    }
    m_lock = lock;
    // A socket left by an ornament that did not end in good order.
    ::unlink(place.socket.c_str());
    m_listen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_un address = Address(place.socket);
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listen, 8) != 0) {
        error = "cannot listen on " + place.socket + ": " + std::strerror(errno);
        return Outcome::Failed;
    }
    m_socketPath = place.socket;
    return Outcome::Taken;
}

bool CRuntimeClaim::FindHolder(const RuntimePlace& place, int limitMs, CRuntimeContact& other)
{
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    const int lock = ::open(place.lock.c_str(), O_RDONLY | O_CLOEXEC);
    if (lock < 0)
        return false;
    bool held = false;
    for (;;) {
        if (::flock(lock, LOCK_SH | LOCK_NB) == 0)
            break;
        if (const int connection = Connect(place.socket, other.m_pid); connection >= 0) {
            other.m_socket = connection;
            held = true;
            break;
        }
        if (LeftMs(end) == 0)
            break;
        std::this_thread::sleep_for(kLookAgain);
    }
    ::close(lock);
    return held;
}

std::vector<OrnamentRequest> CRuntimeClaim::TakeRequests()
{
    std::vector<OrnamentRequest> taken;
    for (;;) {
        const int connection = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            break;
        std::string line;
        if (!ReadLine(connection, line, kLineMilliseconds)) {
            ::close(connection);
            continue;
        }
        const OrnamentRequest request = ReadRequest(line);
        taken.push_back(request);
        const bool answered = WriteAll(connection, "taken\n");
        if (answered && request.stop)
            m_waiting.push_back(connection);
        else
            ::close(connection);
    }
    return taken;
}
