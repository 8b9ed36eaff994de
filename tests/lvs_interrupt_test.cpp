// lvs ended by SIGINT, SIGTERM or SIGHUP at random points of long runs:
// what is on disk afterwards. No temporary file or folder may be left, no
// device, FIFO or link changed, an output is either as it was or complete,
// and JSON lines are whole. LVS_INTERRUPT_RUNS sets the runs per command
// (10), LVS_INTERRUPT_SEED the random points.
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <atomic>
#include <functional>
#include <thread>

#include "interrupt_support.h"
#include "lvs_tool_posix.h"

using namespace lvs_test;

namespace {

// What a run may not change of a path, without following it.
struct PathNode : Node {
  static PathNode At(const fs::directory_entry& e) { return {NodeAt(e.path().string())}; }
  bool IsFile() const { return type == S_IFREG; }
};

const char kOlder[] = "an older file";

class LvsInterrupt : public InterruptSuite<PathNode> {
 protected:
  void SetUp() override {
    InterruptSuite::SetUp();
    // Workers whose parent is gone come to us, so that we see them end.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    ::signal(SIGPIPE, SIG_IGN);  // the feeder writes into a pipe whose reader may be gone
    fs::create_directory(scratch.Path("sub"));
    ASSERT_EQ(::mkfifo(scratch.Path("pipe").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(scratch.Path("feed").c_str(), 0600), 0);
    // Held open for reading and writing, so that a run opens it without
    // waiting, and drained so that a run writes without waiting.
    holder_ = ::open(scratch.Path("pipe").c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(holder_, 0);
    drain_ = std::thread([this] {
      char buffer[1 << 16];
      while (!stop_) {
        pollfd p{holder_, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0)
          while (::read(holder_, buffer, sizeof buffer) > 0) {}
      }
    });
    // A node that behaves as /dev/null, of our own: where none can be made,
    // the device cases are left out rather than aimed at /dev itself.
    if (::mknod(scratch.Path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
      const int fd = ::open(scratch.Path("null").c_str(), O_WRONLY);
      hasDevice_ = fd >= 0;
      if (fd >= 0)
        ::close(fd);
      else
        ::unlink(scratch.Path("null").c_str());  // a filesystem mounted nodev
    }
  }

  void TearDown() override {
    stop_ = true;
    if (drain_.joinable()) drain_.join();
    if (holder_ >= 0) ::close(holder_);
    InterruptSuite::TearDown();
  }

  // Starts `launch`, sends a random ending signal at a random point of
  // `span`, and waits for it and for any worker it left: the run's status.
  int Interrupt(const Launch& launch, Clock::duration span, int* sent) {
    const int signals[] = {SIGINT, SIGTERM, SIGHUP};
    *sent = signals[random_() % 3];
    const auto delay = RandomPoint(span);
    const pid_t pid = Start(launch);
    std::this_thread::sleep_for(delay);
    ::kill(pid, *sent);
    const int status = Reap(pid);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    for (;;) {
      const pid_t orphan = ::waitpid(-1, nullptr, WNOHANG);
      if (orphan < 0) break;  // no children left
      if (orphan == 0 && Clock::now() > deadline) {
        ADD_FAILURE() << "a worker outlived its interrupted run";
        break;
      }
      if (orphan == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status;
  }

  // How long a whole run takes; it must succeed.
  Clock::duration TimeOf(const Launch& launch) {
    const auto start = Clock::now();
    EXPECT_EQ(Reap(Start(launch)), 0) << ::testing::PrintToString(launch.args);
    return Clock::now() - start;
  }

  // Interrupted runs of a command writing `-o`, its output in turn absent,
  // an older file, a link to one, a FIFO and a device. `complete` says
  // whether a file holds a whole output.
  void InterruptWriter(const std::vector<std::string>& args, const std::string& extension,
                       const std::function<bool(const std::string&)>& complete) {
    auto argsFor = [&](const std::string& output) {
      std::vector<std::string> a = args;
      std::replace(a.begin(), a.end(), std::string("OUT"), output);
      return a;
    };
    const std::string out = "out." + extension, linked = "sub/out." + extension;
    const Clock::duration span = TimeOf({scratch.Dir().string(), argsFor(out)});
    ASSERT_TRUE(complete(scratch.Path(out)));
    ASSERT_EQ(::symlink(linked.c_str(), scratch.Path("link").c_str()), 0);
    for (int run = 0; run < runs_; ++run) {
      const int kind = run % (hasDevice_ ? 5 : 4);
      const std::string output = kind < 2 ? out : kind == 2 ? "link" : kind == 3 ? "pipe" : "null";
      const std::string target = kind < 2 ? out : kind == 2 ? linked : "";  // a FIFO or device is never replaced
      fs::remove(scratch.Path(out));
      if (kind == 1) File(out, kOlder);
      if (kind == 2) File(linked, kOlder);
      const Snapshot before = Take();
      int sent = 0;
      const int status = Interrupt({scratch.Dir().string(), argsFor(output)}, span, &sent);
      SCOPED_TRACE(args[0] + " -o " + output + ", run " + std::to_string(run) + ", signal " + std::to_string(sent));
      EXPECT_TRUE(status == 0 || status == -sent) << status;
      ExpectNoDamage(before, Take(), target);
      if (kind <= 2 && fs::exists(scratch.Path(target))) {
        const bool older = Slurp(scratch.Path(target)) == kOlder;
        EXPECT_TRUE(kind != 0 || !older);
        EXPECT_TRUE(older || complete(scratch.Path(target))) << "an output in part";
      }
    }
  }

  bool hasDevice_ = false;
  int holder_ = -1;
  std::atomic<bool> stop_{false};
  std::thread drain_;
};

TEST_F(LvsInterrupt, Pack) {
  InterruptWriter({"pack", "-o", "OUT", "--preview", "prv.jpg", "--meta", "meta.json"}, "lvs", HoldsThePreview);
}

TEST_F(LvsInterrupt, Render) {
  InterruptWriter({"render", "good.lvs", "-o", "OUT", "--size", "640x640", "--depth", "16"}, "png", WholePng);
}

TEST_F(LvsInterrupt, Sheet) {
  InterruptWriter({"sheet", "lib/set0", "-o", "OUT", "--cell-width", "128"}, "png", WholePng);
}

// Standard output is a file, a FIFO or a device; in a file every line that
// is there is a whole JSON object. The workers end with the run.
TEST_F(LvsInterrupt, CheckRecursive) {
  const std::vector<std::string> args = {"check", "-r", "--json", "-j", "2", "lib"};
  const Clock::duration span = TimeOf({scratch.Dir().string(), args, "/dev/null", scratch.Path("results")});
  for (int run = 0; run < runs_; ++run) {
    // Two runs in three into a file, where lines could be torn.
    const std::string output = run % 3 < 2 ? "results" : hasDevice_ && run % 2 ? "null" : "pipe";
    const Snapshot before = Take();
    int sent = 0;
    const int status = Interrupt({scratch.Dir().string(), args, "/dev/null", scratch.Path(output)}, span, &sent);
    SCOPED_TRACE("check -r > " + output + ", run " + std::to_string(run) + ", signal " + std::to_string(sent));
    EXPECT_TRUE(status == 0 || status == -sent) << status;
    ExpectNoDamage(before, Take(), "results");
    ExpectWholeLines(Slurp(scratch.Path("results")));
  }
}

// A package on standard input is copied to a private folder of TMPDIR while
// it is read; the folder goes whatever ends the run. The package comes in
// pieces, so that many signals find the copy being made.
TEST_F(LvsInterrupt, StandardInput) {
  const std::string package = Slurp(Good());
  const std::string tmp = scratch.Path("tmp"), feed = scratch.Path("feed");
  auto feeder = [&](std::atomic<bool>* done) {
    int fd = -1;
    while (fd < 0 && !*done) {
      fd = ::open(feed.c_str(), O_WRONLY | O_NONBLOCK);  // ENXIO until the run opens it
      if (fd < 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (fd < 0) return;
    ::fcntl(fd, F_SETFL, 0);
    for (size_t at = 0; at < package.size() && !*done; at += 4096) {
      if (::write(fd, package.data() + at, std::min<size_t>(4096, package.size() - at)) < 0) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::close(fd);
  };
  const std::vector<std::vector<std::string>> commands = {
      {"check", "-"}, {"info", "-"}, {"render", "-", "-o", "out.png"}};
  for (const auto& args : commands) {
    Launch launch{scratch.Dir().string(), args, feed, "/dev/null", "/dev/null", tmp};
    std::atomic<bool> done{false};
    std::thread whole(feeder, &done);
    const Clock::duration span = TimeOf(launch);
    done = true;
    whole.join();
    for (int run = 0; run < runs_; ++run) {
      fs::remove(scratch.Path("out.png"));
      const Snapshot before = Take();
      std::atomic<bool> over{false};
      std::thread pieces(feeder, &over);
      int sent = 0;
      const int status = Interrupt(launch, span, &sent);
      over = true;
      pieces.join();
      SCOPED_TRACE(args[0] + " -, run " + std::to_string(run) + ", signal " + std::to_string(sent));
      EXPECT_TRUE(status == 0 || status == -sent) << status;
      ExpectNoDamage(before, Take(), "out.png");
      EXPECT_TRUE(fs::is_empty(tmp));
      if (fs::exists(scratch.Path("out.png"))) {
        EXPECT_TRUE(WholePng(scratch.Path("out.png")));
      }
    }
  }
}

}  // namespace
