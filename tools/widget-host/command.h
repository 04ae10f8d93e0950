// Command: one parsed widget-host command: the name shown in its messages, what it
// does, and whether it can show its result as pictures (--format png or svg).
#pragma once

#include <expected>
#include <functional>
#include <string>

#include "host_error.h"

namespace host {

struct Command {
  std::string name;
  std::function<std::expected<std::string, HostError>()> run;
  bool makesPictures = false;
};

}  // namespace host
