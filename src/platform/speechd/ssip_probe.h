#pragma once

#include <chrono>
#include <string>

namespace pelliwick::speechd {

using Deadline = std::chrono::steady_clock::time_point;

// Where speech-dispatcher listens, as SPEECHD_ADDRESS or its default says.
struct Address {
  bool unixSocket = true;
  std::string path;  // unix socket
  std::string host;  // inet socket
  int port = 0;
  std::string text() const;
};

// Throws Failure when the address cannot be read.
Address defaultAddress();

// Connects to the address and asks one harmless SSIP question, all before
// `deadline`. libspeechd ends the whole program when what answers is not
// speech-dispatcher, so it is given the address only after this passed.
// Throws Failure when nothing answers in time or the answer is not SSIP.
void probe(const Address& address, Deadline deadline);

// True once the other end of the socket `fd` has hung up: a daemon that
// died is known at once, without a request that waits for its limit.
bool peerClosed(int fd);

}  // namespace pelliwick::speechd
