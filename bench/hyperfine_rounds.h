// HyperfineRounds: the exports of one hyperfine step that scripts/bench.sh runs in
// rounds (STEM.round1.json, STEM.round2.json, ...), with the commands' order reversed
// every other round, so that a slow phase of the machine falls on every command alike.
// A figure pools the runs of every round; the spread of a ratio is its range over the
// rounds. One export named STEM.json reads as a single round.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "report.h"

namespace bench {

class HyperfineRounds {
 public:
  // The rounds found in `results`; none when there is no export of the step.
  static std::optional<HyperfineRounds> read(const std::filesystem::path& results, const std::string& stem);

  // The command's median over the runs of all rounds, in nanoseconds; zero when no
  // round has the command.
  double median(const std::string& command) const;

  // hyperfine's "mean", "user" or "system" of the command, averaged over the rounds
  // weighted by their runs, in nanoseconds.
  double mean(const std::string& command, const char* field = "mean") const;

  // The ratio of the summed medians of `figure` to those of `floor`, in each round: the
  // range as text ("1.31x-1.44x over 5 rounds"); empty when a round lacks a command.
  std::string ratioSpread(const std::vector<std::string>& figure, const std::vector<std::string>& floor) const;

  // The same, against a floor measured elsewhere (in nanoseconds).
  std::string ratioSpread(const std::vector<std::string>& figure, double floorNs) const;

  std::size_t size() const { return rounds_.size(); }

 private:
  explicit HyperfineRounds(std::vector<Json> rounds) : rounds_(std::move(rounds)) {}
  std::vector<Json> rounds_;
};

}  // namespace bench
