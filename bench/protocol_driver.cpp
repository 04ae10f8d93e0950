// protocol_driver: drives the real extension executable over pipes, as the widget host
// does, and measures what only a whole process shows. Each mode first stores the bench
// preset in a fresh preferences folder (WIDGET_PLATFORM_PREFERENCES) so that every
// timeline reads a valid stored preset, and writes its figures as JSON.
//
//   warm    one timeline request at a time on a running extension, against echo_floor
//           answering a line of the same size over the same kind of pipes; the driver
//           and both children run on one processor (see pinToOneProcessor)
//   cold    start the extension, one timeline request, close and wait, against
//           idle_pair (two processes started with nothing to do)
//   memory  100,000 mixed requests (every method, valid and invalid activity states,
//           bad lines, and unless --ordinary-lines-only lines at and over the 1 MiB
//           limit), sampling the extension's resident size; its peak is read before its
//           input closes
//   store   only stores the bench preset in a given folder and keeps it (for hyperfine)
#include <sched.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <numeric>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench_preset.h"
#include "proc_status.h"
#include "request_mix.h"
#include "support/child_process.h"
#include "support/temp_folder.h"

namespace {

using Clock = std::chrono::steady_clock;
using bench::Expect;
using bench::limitLines;
using bench::mixCycle;
using bench::MixLine;
using bench::timelineLine;
using Json = nlohmann::ordered_json;
using tul::testing::ChildProcess;
using tul::testing::kNoDeadline;

constexpr std::string_view kResultPrefix = R"({"jsonrpc":"2.0","result":)";
constexpr std::string_view kErrorPrefix = R"({"jsonrpc":"2.0","error":)";

// ---- Statistics.

struct Summary {
  double medianNs = 0;
  double meanNs = 0;
  double minNs = 0;
  std::size_t count = 0;
};

Summary summarize(std::vector<double> samples) {
  Summary out;
  if (samples.empty()) return out;
  std::sort(samples.begin(), samples.end());
  const std::size_t n = samples.size();
  out.medianNs = n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
  out.meanNs = std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(n);
  out.minNs = samples.front();
  out.count = n;
  return out;
}

Json toJson(const Summary& s) {
  return {{"median_ns", s.medianNs}, {"mean_ns", s.meanNs}, {"min_ns", s.minNs}, {"samples", s.count}};
}

double nanosecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

bool writeResult(const std::string& path, const Json& result) {
  std::printf("%s\n", result.dump(2).c_str());
  if (path.empty()) return true;
  std::ofstream out(path, std::ios::trunc);
  out << result.dump(2) << "\n";
  if (!out) {
    std::fprintf(stderr, "protocol_driver: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "protocol_driver: %s\n", message.c_str());
  return 1;
}

// The answer to one request line, read back in lockstep.
std::optional<std::string> ask(ChildProcess& child, std::string_view text) {
  std::string answer;
  if (!child.write(text, kNoDeadline) || !child.readLine(answer)) return std::nullopt;
  return answer;
}

// Closes the child's input and waits for its end: its exit status.
std::optional<int> finish(ChildProcess& child) {
  child.closeInput();
  return child.wait(kNoDeadline);
}

bool isTimelineOfBenchPreset(const std::string& answer) {
  // The widget shows the stored playlist entry's tempo and name, never the default's.
  return answer.starts_with(kResultPrefix) && answer.find(R"("text":"132")") != std::string::npos &&
         answer.find(bench::benchPreset().name) != std::string::npos;
}

// ---- warm

// Keeps this process, and the children it starts from now on, on the processor it is
// running on. A request and its answer then hand over on one processor, for the
// extension and the echo alike. Left to the scheduler, the extension, which works
// longer per request than the echo, was often moved to the other processor, and each
// wake-up across processors of a virtual machine added tens of microseconds to some
// runs and not to others; the echo stayed put.
void pinToOneProcessor() {
  const int processor = sched_getcpu();
  if (processor < 0) return;
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(static_cast<std::size_t>(processor), &set);
  if (sched_setaffinity(0, sizeof set, &set) != 0) std::perror("sched_setaffinity");
}

int warm(const std::string& extension, const std::string& echo, int requests, int rounds, const std::string& out) {
  pinToOneProcessor();
  auto server = ChildProcess::start({extension});
  if (!server) return fail(server.error());
  const auto first = ask(*server, timelineLine());
  if (!first || !isTimelineOfBenchPreset(*first)) {
    return fail("the extension did not answer the timeline with the stored preset: " + first.value_or("(no answer)"));
  }
  const std::size_t answerBytes = first->size() + 1;
  auto floor = ChildProcess::start({echo, std::to_string(answerBytes)});
  if (!floor) return fail(floor.error());

  std::string answer;
  const auto timeOne = [&](ChildProcess& child) -> std::optional<double> {
    const auto start = Clock::now();
    if (!child.write(timelineLine(), kNoDeadline) || !child.readLine(answer)) return std::nullopt;
    const double elapsed = nanosecondsSince(start);
    if (answer.size() + 1 != answerBytes) return std::nullopt;
    return elapsed;
  };
  for (int i = 0; i < 200; ++i) {  // warm both: caches, connections, page tables
    if (!timeOne(*server) || !timeOne(*floor)) return fail("a warm-up request got no answer of the expected size");
  }
  std::vector<double> serverTimes;
  std::vector<double> floorTimes;
  const int perRound = std::max(1, requests / rounds);
  // Processor time used on each side, to tell the work per request from waiting.
  const auto serverCpuBefore = bench::readCpuSeconds(server->pid());
  const auto floorCpuBefore = bench::readCpuSeconds(floor->pid());
  // Interleaved rounds, so that drift hits both alike. Each side's figure is its best
  // round's median: other work on the machine only adds time, and it comes and goes.
  double serverBestRound = 0;
  double floorBestRound = 0;
  const auto best = [](double current, const std::vector<double>& all, std::size_t from) {
    const double median =
        summarize(std::vector<double>(all.begin() + static_cast<std::ptrdiff_t>(from), all.end())).medianNs;
    return current == 0 ? median : std::min(current, median);
  };
  for (int round = 0; round < rounds; ++round) {
    const std::size_t serverFrom = serverTimes.size();
    for (int i = 0; i < perRound; ++i) {
      const auto t = timeOne(*server);
      if (!t) return fail("the extension's answer changed size or did not come: " + answer.substr(0, 200));
      serverTimes.push_back(*t);
    }
    serverBestRound = best(serverBestRound, serverTimes, serverFrom);
    const std::size_t floorFrom = floorTimes.size();
    for (int i = 0; i < perRound; ++i) {
      const auto t = timeOne(*floor);
      if (!t) return fail("echo_floor did not answer");
      floorTimes.push_back(*t);
    }
    floorBestRound = best(floorBestRound, floorTimes, floorFrom);
  }
  const auto serverCpuAfter = bench::readCpuSeconds(server->pid());
  const auto floorCpuAfter = bench::readCpuSeconds(floor->pid());
  if (finish(*server) != 0) return fail("the extension did not exit with status 0 when its input closed");
  finish(*floor);
  const Summary s = summarize(serverTimes);
  const Summary f = summarize(floorTimes);
  const auto cpuPerRequest = [](std::optional<double> before, std::optional<double> after, std::size_t count) {
    return before && after && count > 0 ? (*after - *before) * 1e9 / static_cast<double>(count) : 0.0;
  };
  return writeResult(out, {{"mode", "warm"},
                           {"request_bytes", timelineLine().size()},
                           {"answer_bytes", answerBytes},
                           {"rounds", rounds},
                           {"extension", toJson(s)},
                           {"floor", toJson(f)},
                           {"extension_best_round_median_ns", serverBestRound},
                           {"floor_best_round_median_ns", floorBestRound},
                           {"extension_cpu_ns_per_request", cpuPerRequest(serverCpuBefore, serverCpuAfter, s.count)},
                           {"floor_cpu_ns_per_request", cpuPerRequest(floorCpuBefore, floorCpuAfter, f.count)},
                           {"extension_requests_per_second", 1e9 / serverBestRound},
                           {"floor_requests_per_second", 1e9 / floorBestRound}})
             ? 0
             : 1;
}

// ---- cold

int cold(const std::string& extension, const std::string& idlePair, int runs, const std::string& out) {
  std::vector<double> total;
  std::vector<double> toAnswer;
  std::vector<double> floorTimes;
  for (int run = -3; run < runs; ++run) {  // three untimed runs first: the page cache
    const auto start = Clock::now();
    auto server = ChildProcess::start({extension});
    if (!server) return fail(server.error());
    const auto answer = ask(*server, timelineLine());
    const double answered = nanosecondsSince(start);
    const auto status = finish(*server);
    const double ended = nanosecondsSince(start);
    if (!answer || !isTimelineOfBenchPreset(*answer) || status != 0) {
      return fail("a cold extension did not answer the timeline and exit cleanly");
    }

    const auto floorStart = Clock::now();
    auto pair = ChildProcess::start({idlePair});
    if (!pair) return fail(pair.error());
    if (finish(*pair) != 0) return fail("idle_pair failed");
    const double floorEnded = nanosecondsSince(floorStart);
    if (run < 0) continue;
    total.push_back(ended);
    toAnswer.push_back(answered);
    floorTimes.push_back(floorEnded);
  }
  return writeResult(out, {{"mode", "cold"},
                           {"extension", toJson(summarize(total))},
                           {"extension_to_answer", toJson(summarize(toAnswer))},
                           {"floor", toJson(summarize(floorTimes))}})
             ? 0
             : 1;
}

// ---- memory

int memory(const std::string& extension, int requests, int sampleEvery, int window, bool withLimitLines,
           const std::string& out) {
  const auto cycle = mixCycle();
  const auto atLimit = withLimitLines ? limitLines() : std::vector<MixLine>{};
  // The lines to send, by index; lines at the limit go at the middle of every window.
  std::vector<const MixLine*> lines;
  lines.reserve(static_cast<std::size_t>(requests));
  std::size_t next = 0;
  for (int i = 0; i < requests; ++i) {
    const int inWindow = i % window;
    if (inWindow >= window / 2 && inWindow < window / 2 + static_cast<int>(atLimit.size())) {
      lines.push_back(&atLimit[static_cast<std::size_t>(inWindow - window / 2)]);
    } else {
      lines.push_back(&cycle[next++ % cycle.size()]);
    }
  }
  std::vector<std::size_t> answered;  // the request index of each expected answer
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i]->expect != Expect::none) answered.push_back(i);
  }

  auto server = ChildProcess::start({extension});
  if (!server) return fail(server.error());
  // The floor: the extension with its libraries loaded, waiting for its first line.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto idleStatus = bench::readMemoryStatus(server->pid());
  // The resident size of a warm extension that has answered one timeline, before the mix.
  const auto first = ask(*server, timelineLine());
  if (!first || !isTimelineOfBenchPreset(*first)) return fail("the extension did not answer the first timeline");
  const auto warmStatus = bench::readMemoryStatus(server->pid());

  const auto start = Clock::now();
  std::atomic<bool> writeFailed = false;
  std::thread writer([&] {
    for (const MixLine* l : lines) {
      if (!server->write(l->text, kNoDeadline)) {
        writeFailed = true;
        return;
      }
    }
  });

  struct Sample {
    std::size_t request;
    std::uint64_t residentKiB;
  };
  std::vector<Sample> samples;
  std::size_t wrongAnswers = 0;
  std::string firstWrong;
  std::string answer;
  std::size_t count = 0;
  for (; count < answered.size() && server->readLine(answer); ++count) {
    const Expect expect = lines[answered[count]]->expect;
    const bool right = expect == Expect::result ? answer.starts_with(kResultPrefix) : answer.starts_with(kErrorPrefix);
    if (!right && wrongAnswers++ == 0) {
      firstWrong = "request " + std::to_string(answered[count]) + ": " + answer.substr(0, 300);
    }
    if ((count + 1) % static_cast<std::size_t>(sampleEvery) == 0 || count + 1 == answered.size()) {
      if (const auto status = bench::readMemoryStatus(server->pid())) {
        samples.push_back({answered[count], status->residentKiB});
      }
    }
  }
  const double elapsed = nanosecondsSince(start);
  writer.join();
  const auto last = bench::readMemoryStatus(server->pid());  // still running: its input is open
  const auto status = finish(*server);
  if (writeFailed || count != answered.size())
    return fail("the extension stopped answering after " + std::to_string(count));
  if (status != 0) return fail("the extension did not exit with status 0");
  if (!last || !warmStatus) return fail("cannot read /proc/PID/status of the extension");
  if (wrongAnswers > 0) {
    return fail(std::to_string(wrongAnswers) + " answers of the wrong kind, the first: " + firstWrong);
  }

  const auto windowPeak = [&](std::size_t from, std::size_t to) {
    std::uint64_t peak = 0;
    for (const auto& s : samples) {
      if (s.request >= from && s.request < to) peak = std::max(peak, s.residentKiB);
    }
    return peak;
  };
  const auto n = static_cast<std::size_t>(requests);
  const auto w = static_cast<std::size_t>(window);
  Json trace = Json::array();
  for (const auto& s : samples) trace.push_back({s.request, s.residentKiB});
  return writeResult(out, {{"mode", "memory"},
                           {"requests", requests},
                           {"answers", answered.size()},
                           {"limit_lines", withLimitLines},
                           {"idle_resident_kib", idleStatus ? idleStatus->peakResidentKiB : 0},
                           {"warm_resident_kib", warmStatus->residentKiB},
                           {"peak_resident_kib", last->peakResidentKiB},
                           {"final_resident_kib", last->residentKiB},
                           {"first_window_resident_kib", windowPeak(0, w)},
                           {"last_window_resident_kib", windowPeak(n - w, n)},
                           {"window", window},
                           {"elapsed_ns", elapsed},
                           {"requests_per_second", static_cast<double>(requests) / (elapsed / 1e9)},
                           {"resident_kib_by_request", std::move(trace)}})
             ? 0
             : 1;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Drives the extension over pipes and measures warm requests, cold starts and memory."};
  app.require_subcommand(1);
  std::string extension;
  std::string echo;
  std::string idlePair;
  std::string out;
  int requests = 0;
  int rounds = 10;
  int runs = 40;
  int sampleEvery = 500;
  int window = 10'000;

  auto* warmCommand = app.add_subcommand("warm", "timeline requests on a warm extension against echo_floor");
  warmCommand->add_option("--extension", extension, "the extension executable")->required()->check(CLI::ExistingFile);
  warmCommand->add_option("--echo", echo, "the echo_floor executable")->required()->check(CLI::ExistingFile);
  warmCommand->add_option("--requests", requests, "timed requests for each side")
      ->default_val(4000)
      ->check(CLI::PositiveNumber);
  warmCommand->add_option("--rounds", rounds, "interleaved rounds")->default_val(10)->check(CLI::PositiveNumber);
  warmCommand->add_option("--out", out, "where to write the figures as JSON");

  auto* coldCommand = app.add_subcommand("cold", "start, one timeline, close; against idle_pair");
  coldCommand->add_option("--extension", extension, "the extension executable")->required()->check(CLI::ExistingFile);
  coldCommand->add_option("--idle-pair", idlePair, "the idle_pair executable")->required()->check(CLI::ExistingFile);
  coldCommand->add_option("--runs", runs, "timed runs for each side")->default_val(40)->check(CLI::PositiveNumber);
  coldCommand->add_option("--out", out, "where to write the figures as JSON");

  std::string folder;
  auto* storeCommand = app.add_subcommand("store", "store the bench preset in a preferences folder and keep it");
  storeCommand->add_option("--folder", folder, "the preferences folder (made when missing)")->required();

  bool ordinaryLinesOnly = false;
  auto* memoryCommand = app.add_subcommand("memory", "resident size while serving mixed requests");
  memoryCommand->add_option("--extension", extension, "the extension executable")->required()->check(CLI::ExistingFile);
  memoryCommand->add_option("--requests", requests, "requests to send")
      ->default_val(100'000)
      ->check(CLI::Range(1, 100'000'000));
  memoryCommand->add_option("--sample-every", sampleEvery, "answers between two samples of VmRSS")
      ->default_val(500)
      ->check(CLI::PositiveNumber);
  memoryCommand->add_option("--window", window, "requests compared at the start and at the end")
      ->default_val(10'000)
      ->check(CLI::PositiveNumber);
  memoryCommand->add_flag("--ordinary-lines-only", ordinaryLinesOnly,
                          "leave out the lines at and over the 1 MiB limit");
  memoryCommand->add_option("--out", out, "where to write the figures as JSON");

  CLI11_PARSE(app, argc, argv);
  if (memoryCommand->parsed() && window > requests) return fail("--window may not exceed --requests");

  if (storeCommand->parsed()) {
    auto done = bench::storePresetIn(folder);
    return done ? 0 : fail(done.error());
  }
  const tul::testing::TempPreferences preferences;
  if (auto stored = bench::storePresetIn(preferences.folder()); !stored) return fail(stored.error());
  if (warmCommand->parsed()) return warm(extension, echo, requests, rounds, out);
  if (coldCommand->parsed()) return cold(extension, idlePair, runs, out);
  return memory(extension, requests, sampleEvery, window, !ordinaryLinesOnly, out);
}
