#include "ornament/control.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// How long a connection may take to send its line before it is closed, and how long the line
// may be.
constexpr auto kLineTime = std::chrono::seconds(5);
constexpr std::size_t kMostLine = 4096;
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
        if (got <= 0 || line.size() > kMostLine)
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
    // Only an ornament of this user is told anything.
    if (::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ::geteuid()) {
        ::close(connection);
        return -1;
    }
    pid = peer.pid;
    return connection;
}

// The socket display names, one name for every way of naming it: WAYLAND_DISPLAY is a name in
// the runtime folder or a path, and a path may go through links.
std::string SocketOf(const std::string& display, const std::string& runtime)
{
    const std::string path = !display.empty() && display[0] == '/' ? display : runtime + "/" + display;
    char real[PATH_MAX];
    return ::realpath(path.c_str(), real) ? std::string(real) : path;
}

// A name for the socket that a file name can hold: a hash of its path.
std::string SocketKey(const std::string& socket)
{
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const unsigned char c : socket)
        hash = (hash ^ c) * 1099511628211ull;
    char text[17];
    (void)std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

// Why runtime cannot hold the ornament's lock and socket, or an empty string: another user's
// folder, or one that others may write to, could hold a socket that is not the ornament's.
std::string NotPrivate(const char* runtime)
{
    struct stat info;
    if (::stat(runtime, &info) != 0)
        return std::string("XDG_RUNTIME_DIR ") + runtime + " cannot be looked at: " + std::strerror(errno);
    if (!S_ISDIR(info.st_mode))
        return std::string("XDG_RUNTIME_DIR ") + runtime + " is not a folder";
    if (info.st_uid != ::geteuid() || (info.st_mode & 077) != 0) {
        char mode[8];
        (void)std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        return std::string("XDG_RUNTIME_DIR ") + runtime + " is not this user's own private folder (owner " +
               std::to_string(info.st_uid) + ", mode " + mode + "), so the ornament will not keep its socket there";
    }
    return {};
}

}  // namespace

std::string FindRuntimePlace(const std::string& display, RuntimePlace& place)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || runtime[0] != '/')
        return "XDG_RUNTIME_DIR is not set to a folder, so whether one hangs already cannot be told";
    if (std::string why = NotPrivate(runtime); !why.empty())
        return why;
    const std::string base = std::string(runtime) + "/lumetta-ornament-" + SocketKey(SocketOf(display, runtime));
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
    for (const Connection& connection : m_reading)
        ::close(connection.socket);
    if (m_lock >= 0)
        ::close(m_lock);
}

CRuntimeClaim::Outcome CRuntimeClaim::Claim(const RuntimePlace& place, int limitMs, CRuntimeContact& other,
                                            std::string& error)
{
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    const int lock = ::open(place.lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
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
    const int lock = ::open(place.lock.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
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

std::vector<OrnamentRequest> CRuntimeClaim::Serve()
{
    for (int connection;
         m_listen >= 0 && (connection = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0;) {
        ucred peer{};
        socklen_t size = sizeof peer;
        if (::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ::geteuid())
            ::close(connection);
        else
            m_reading.push_back({connection, {}, Clock::now()});
    }
    std::vector<OrnamentRequest> taken;
    const auto now = Clock::now();
    std::erase_if(m_reading, [&](Connection& c) {
        char bytes[512];
        ssize_t got = 0;
        while (c.line.find('\n') == std::string::npos && c.line.size() <= kMostLine &&
               (got = ::recv(c.socket, bytes, sizeof bytes, MSG_DONTWAIT)) > 0)
            c.line.append(bytes, static_cast<std::size_t>(got));
        const std::size_t end = c.line.find('\n');
        if (end == std::string::npos) {
            const bool still = got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && c.line.size() <= kMostLine &&
                               now - c.since < kLineTime;
            if (!still)
                ::close(c.socket);
            return !still;
        }
        const OrnamentRequest request = ReadRequest(c.line.substr(0, end));
        taken.push_back(request);
        if (WriteAll(c.socket, "taken\n") && request.stop)
            m_waiting.push_back(c.socket);
        else
            ::close(c.socket);
        return true;
    });
    return taken;
}
