// What the suites that interrupt lvs share on every system: the runs and
// random points the environment picks, the packages they run on, and what a
// run left or changed on disk. Each system's suite supplies its Node, what
// a run may not change of a path: Node::At(entry) reads one, IsFile() says
// whether it is an ordinary file, and == compares two.
#pragma once

#include <chrono>
#include <map>
#include <random>
#include <sstream>

#include "lvs_tool_support.h"

namespace lvs_test {

using Clock = std::chrono::steady_clock;

template <class Node>
class InterruptSuite : public LvsTool {
 protected:
  using Snapshot = std::map<std::string, Node>;

  // LVS_INTERRUPT_RUNS sets the runs per command (10), LVS_INTERRUPT_SEED
  // the random points.
  void SetUp() override {
    const char* runs = std::getenv("LVS_INTERRUPT_RUNS");
    runs_ = runs ? std::max(1, std::atoi(runs)) : 10;
    const char* seed = std::getenv("LVS_INTERRUPT_SEED");
    seed_ = seed ? unsigned(std::strtoul(seed, nullptr, 10)) : std::random_device{}();
    random_.seed(seed_);
    Good();
    File("prv.jpg", Preview());
    File("meta.json", kMeta);
    // Enough reports to pass stdio's 4 KiB buffer three times; the sheet
    // takes a third of them.
    const std::string package = Slurp(Good());
    for (int i = 0; i < 120; ++i) File("lib/set" + std::to_string(i % 3) + "/s" + std::to_string(i) + ".lvs", package);
    fs::create_directory(scratch.Path("tmp"));
  }

  void TearDown() override {
    if (HasFailure()) std::printf("LVS_INTERRUPT_SEED=%u makes these runs' random choices again\n", seed_);
  }

  // A random point of a run that takes `span`, up to a tenth past its end.
  Clock::duration RandomPoint(Clock::duration span) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(span).count();
    return std::chrono::microseconds(std::uniform_int_distribution<int64_t>(0, us * 11 / 10)(random_));
  }

  Snapshot Take() const {
    Snapshot s;
    for (const auto& e : fs::recursive_directory_iterator(scratch.Dir())) {
      const std::string name = e.path().lexically_relative(scratch.Dir()).generic_u8string();
      if (name != ".stdout" && name != ".stderr") s[name] = Node::At(e);
    }
    return s;
  }

  // No path left that was not there, and none removed or changed, but for
  // `output`, which may be new or a file replaced by a file.
  static void ExpectNoDamage(const Snapshot& before, const Snapshot& after, const std::string& output) {
    std::vector<std::string> left, changed;
    for (const auto& [name, node] : after)
      if (!before.count(name) && name != output) left.push_back(name);
    for (const auto& [name, node] : before) {
      const auto now = after.find(name);
      const bool same = now != after.end() && now->second == node;
      const bool replaced = name == output && node.IsFile() && now != after.end() && now->second.IsFile();
      if (!same && !replaced) changed.push_back(name);
    }
    EXPECT_EQ(left, std::vector<std::string>());
    EXPECT_EQ(changed, std::vector<std::string>());
  }

  // Every line there is a whole JSON object, the last one included.
  static void ExpectWholeLines(const std::string& lines) {
    EXPECT_TRUE(lines.empty() || lines.back() == '\n') << "a torn last line";
    std::istringstream in(lines);
    for (std::string line; std::getline(in, line);)
      EXPECT_TRUE(json::accept(line)) << "a torn line: " << line.substr(0, 80);
  }

  unsigned seed_ = 0;
  std::mt19937 random_;
  int runs_ = 10;
};

inline bool WholePng(const std::string& path) { return !ReadPng(path).empty(); }

}  // namespace lvs_test
