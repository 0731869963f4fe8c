// Asks what listens at speech-dispatcher's address whether it speaks SSIP,
// with our own socket and a deadline, before libspeechd (which waits without
// a limit and exits on a malformed answer) is let near it. Deliberately
// ignored: what the daemon answers beyond its status code.
#include "platform/speechd/ssip_probe.h"

#include <libspeechd.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/blocking/blocking_worker.h"
#include "platform/failure.h"

namespace pelliwick::speechd {

namespace {

// Closes the socket on every way out.
struct Socket {
  int fd = -1;
  ~Socket() {
    if (fd >= 0) close(fd);
  }
};

int msLeft(Deadline deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits for `events` on the socket until the deadline; false when time ran out.
bool waitFor(int fd, short events, Deadline deadline) {
  const auto ready = [&](std::chrono::milliseconds slice) {
    pollfd entry{fd, events, 0};
    const int got = poll(&entry, 1, static_cast<int>(slice.count()));
    // A signal only ends the slice early.
    if (got < 0 && errno != EINTR) {
      throw Failure(std::string("poll: ") + strerror(errno));
    }
    return got > 0;
  };
  return waitAsking(ready, std::chrono::milliseconds(msLeft(deadline)), {}) ==
         BlockingWorker::Outcome::Done;
}

void connectBefore(Socket& socket, const sockaddr* target, socklen_t size,
                   Deadline deadline, const std::string& where) {
  if (connect(socket.fd, target, size) == 0) return;
  if (errno != EINPROGRESS) {
    throw Failure("cannot reach speech-dispatcher at " + where + ": " +
                  strerror(errno));
  }
  if (!waitFor(socket.fd, POLLOUT, deadline)) {
    throw Failure("speech-dispatcher at " + where + " did not accept in time");
  }
  int error = 0;
  socklen_t length = sizeof error;
  getsockopt(socket.fd, SOL_SOCKET, SO_ERROR, &error, &length);
  if (error != 0) {
    throw Failure("cannot reach speech-dispatcher at " + where + ": " +
                  strerror(error));
  }
}

void open(Socket& socket, const Address& address, Deadline deadline) {
  const std::string where = address.text();
  if (address.unixSocket) {
    sockaddr_un target{};
    target.sun_family = AF_UNIX;
    if (address.path.size() >= sizeof target.sun_path) {
      throw Failure("speech-dispatcher's socket path is too long: " + where);
    }
    std::memcpy(target.sun_path, address.path.c_str(), address.path.size());
    socket.fd =
        ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket.fd < 0) throw Failure(std::string("socket: ") + strerror(errno));
    connectBefore(socket, reinterpret_cast<sockaddr*>(&target), sizeof target,
                  deadline, where);
    return;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(address.port);
  if (getaddrinfo(address.host.c_str(), port.c_str(), &hints, &found) != 0 ||
      found == nullptr) {
    throw Failure("cannot find speech-dispatcher's host " + where);
  }
  socket.fd =
      ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (socket.fd < 0) {
    freeaddrinfo(found);
    throw Failure(std::string("socket: ") + strerror(errno));
  }
  try {
    connectBefore(socket, found->ai_addr, found->ai_addrlen, deadline, where);
  } catch (...) {
    freeaddrinfo(found);
    throw;
  }
  freeaddrinfo(found);
}

// An SSIP answer line starts with a three-digit code and a blank or a dash.
bool isSsip(const std::string& line) {
  return line.size() >= 4 &&
         std::isdigit(static_cast<unsigned char>(line[0])) &&
         std::isdigit(static_cast<unsigned char>(line[1])) &&
         std::isdigit(static_cast<unsigned char>(line[2])) &&
         (line[3] == ' ' || line[3] == '-');
}

}  // namespace

std::string Address::text() const {
  return unixSocket ? "unix_socket:" + path
                    : "inet_socket:" + host + ":" + std::to_string(port);
}

Address defaultAddress() {
  char* error = nullptr;
  SPDConnectionAddress* found = spd_get_default_address(&error);
  if (found == nullptr) {
    std::string why = error != nullptr ? error : "no reason given";
    std::free(error);
    throw Failure("speech-dispatcher's address: " + why);
  }
  Address address;
  address.unixSocket = found->method == SPD_METHOD_UNIX_SOCKET;
  if (found->unix_socket_name != nullptr)
    address.path = found->unix_socket_name;
  if (found->inet_socket_host != nullptr)
    address.host = found->inet_socket_host;
  address.port = found->inet_socket_port;
  SPDConnectionAddress__free(found);
  return address;
}

void probe(const Address& address, Deadline deadline) {
  // No socket, no daemon: said at once, without a connection attempt.
  if (address.unixSocket && access(address.path.c_str(), F_OK) != 0) {
    throw Failure("cannot reach speech-dispatcher: no socket at " +
                  address.path);
  }
  Socket socket;
  open(socket, address, deadline);
  const std::string question =
      "SET SELF CLIENT_NAME \"pelliwick:pelliwick:probe\"\r\n";
  if (send(socket.fd, question.data(), question.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(question.size())) {
    throw Failure("speech-dispatcher at " + address.text() +
                  " took no question");
  }
  std::string answer;
  while (answer.find('\n') == std::string::npos && answer.size() < 256) {
    if (!waitFor(socket.fd, POLLIN, deadline)) {
      throw Failure("speech-dispatcher at " + address.text() +
                    " did not answer in time");
    }
    char buffer[256];
    const ssize_t got = recv(socket.fd, buffer, sizeof buffer, 0);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      break;
    }
    answer.append(buffer, static_cast<std::size_t>(got));
  }
  if (!isSsip(answer)) {
    throw Failure("what answers at " + address.text() +
                  " is not speech-dispatcher");
  }
}

bool peerClosed(int fd) {
  if (fd < 0) return true;
  pollfd entry{fd, POLLRDHUP, 0};
  if (poll(&entry, 1, 0) <= 0) return false;
  return (entry.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace pelliwick::speechd
