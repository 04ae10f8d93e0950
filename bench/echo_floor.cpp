// echo_floor: the floor of a request through the protocol. Reads lines from standard
// input and answers each with one line of a given size on standard output, doing
// nothing else: what any server must at least do to take a line and give one back
// over the same pipes.
//
//   echo_floor BYTES     each answer is BYTES bytes, the last of them '\n' (BYTES >= 1)
//
// Ends with status 0 when standard input closes, 1 when it cannot write, 2 on bad
// arguments.
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/foundation/write_all.h"

int main(int argc, char** argv) {
  std::size_t size = 0;
  const std::string_view argument = argc == 2 ? argv[1] : "";
  const auto [end, error] = std::from_chars(argument.data(), argument.data() + argument.size(), size);
  if (argc != 2 || error != std::errc{} || end != argument.data() + argument.size() || size == 0) {
    std::fprintf(stderr, "usage: echo_floor BYTES   (answers each input line with BYTES bytes, BYTES >= 1)\n");
    return 2;
  }
  std::string answer(size - 1, 'x');
  answer.push_back('\n');

  std::array<char, 64 * 1024> buffer{};
  for (;;) {
    const ssize_t count = ::read(STDIN_FILENO, buffer.data(), buffer.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return 0;
    std::string_view chunk(buffer.data(), static_cast<std::size_t>(count));
    for (auto newline = chunk.find('\n'); newline != std::string_view::npos; newline = chunk.find('\n')) {
      if (!foundation::writeAll(STDOUT_FILENO, answer)) return 1;
      chunk.remove_prefix(newline + 1);
    }
  }
}
