#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "server_kit.h"

namespace pelliwick::bench {

// PipeWire as Debian 12's desktops run it, privately: a session bus,
// pipewire with a null sink, wireplumber with its hardware monitors off,
// and pipewire-pulse. Everything lives in a scratch folder.
class PrivatePipeWire {
 public:
  PrivatePipeWire();
  ~PrivatePipeWire();

  // Empty when it runs; otherwise why not.
  const std::string& whyNot() const { return whyNot_; }
  // pipewire and pipewire-pulse: what the sound costs the system.
  std::vector<int> serverPids() const { return {pipewire_, pulse_}; }
  std::string pulseAddress() const;
  std::string runtimeFolder() const { return (folder_ / "run").string(); }

 private:
  pid_t spawn(const std::string& program, const std::string& log);

  test_servers::ScratchFolder folder_;
  std::vector<std::string> environment_;
  pid_t bus_ = -1;
  pid_t pipewire_ = -1;
  pid_t wireplumber_ = -1;
  pid_t pulse_ = -1;
  std::string whyNot_;
};

}  // namespace pelliwick::bench
