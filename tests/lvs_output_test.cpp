// Where lvs writes: outputs that are devices, FIFOs, symbolic links, in
// folders it may not write, under the longest names; text into a full
// device; inputs too large to read. What matters is what is on disk after.
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <atomic>
#include <thread>

#include "lvs_tool_posix.h"

using namespace lvs_test;

namespace {

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 ? mode_t(status.st_mode & 07777) : 0;
}

class LvsOutput : public LvsOutputs {
 protected:
  // Names in the scratch folder and below, but the runs' own stdout and stderr.
  std::vector<std::string> Listing() {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(scratch.Dir())) {
      const std::string name = e.path().lexically_relative(scratch.Dir()).string();
      if (name != ".stdout" && name != ".stderr") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // A node that behaves as /dev/full: one of our own where nodes can be
  // made, so that a tool that wrongly removes or replaces it harms nothing;
  // else /dev/full itself, which only root could remove. Empty when neither
  // is safe.
  std::string FullDevice() {
    const std::string path = scratch.Path("full");
    if (::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0) {
      const int fd = ::open(path.c_str(), O_WRONLY);
      const bool usable = fd >= 0 && ::write(fd, "x", 1) < 0 && errno == ENOSPC;
      if (fd >= 0) ::close(fd);
      if (usable) return path;
      ::unlink(path.c_str());  // a filesystem mounted nodev
    }
    return ::geteuid() == 0 ? std::string() : "/dev/full";
  }
};

// A full device is written, fails, and stays the device it was; so does one
// named through a symbolic link. Nothing is left beside either.
TEST_F(LvsOutput, AFullDeviceFailsTheRunAndIsLeftAsItWas) {
  const std::string full = FullDevice();
  if (full.empty()) GTEST_SKIP() << "no device node of our own can be made here";
  ASSERT_EQ(::symlink(full.c_str(), scratch.Path("to-full").c_str()), 0);
  const Node device = NodeAt(full), link = NodeAt(scratch.Path("to-full"));
  const std::vector<std::string> before = Listing();
  for (const std::string& output : {full, std::string("to-full")}) {
    for (const auto& args : Writers(output)) {
      const ToolRun run = Lvs(args);
      EXPECT_EQ(run.exitCode, 2) << args[0] << " " << output << ": " << run.err;
      EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
      EXPECT_EQ(NodeAt(full), device) << args[0] << " changed " << full;
      EXPECT_EQ(NodeAt(scratch.Path("to-full")), link) << args[0];
      EXPECT_EQ(Listing(), before) << args[0];
    }
  }
}

// A FIFO gets the whole output and stays a FIFO.
TEST_F(LvsOutput, AFifoIsWrittenWholeAndStaysAFifo) {
  const std::string fifo = scratch.Path("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const Node before = NodeAt(fifo);
  for (const auto& args : Writers("pipe")) {
    // Held open for reading and writing, so that neither side waits on the
    // other; drained until the run is over.
    const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    std::atomic<bool> done{false};
    std::string received;
    std::thread drain([&] {
      char buffer[1 << 16];
      for (;;) {
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 20);
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) received.append(buffer, size_t(n));
        if (n <= 0 && done) break;
      }
    });
    const ToolRun run = Lvs(args);
    done = true;
    drain.join();
    ::close(fd);
    EXPECT_EQ(run.exitCode, 0) << args[0] << ": " << run.err;
    EXPECT_EQ(NodeAt(fifo), before) << args[0];
    if (args[0] == "pack") {
      EXPECT_TRUE(HoldsThePreview(File("received.lvs", received)));
      fs::remove(scratch.Path("received.lvs"));
    } else if (args[0] == "decode") {
      EXPECT_EQ(received.size(), size_t(1280) * 720 * 3) << "the decoder's raw bytes";
    } else {
      const std::string copy = File("received.png", received);
      EXPECT_FALSE(ReadPng(copy).empty()) << args[0] << " sent " << received.size() << " bytes";
      fs::remove(copy);
    }
  }
}

// A link stays a link and its target is replaced; an existing target keeps
// its mode, a new one gets what the umask leaves. The temporary file lives
// beside the target, and goes.
TEST_F(LvsOutput, ASymbolicLinkIsWrittenThroughAndStays) {
  File("sub/old.out", "an older file");
  ::chmod(scratch.Path("sub/old.out").c_str(), 0640);
  fs::create_directory(scratch.Path("far"));
  ASSERT_EQ(::symlink("sub/old.out", scratch.Path("relative").c_str()), 0);
  ASSERT_EQ(::symlink("relative", scratch.Path("chain").c_str()), 0);
  ASSERT_EQ(::symlink(scratch.Path("far/new.out").c_str(), scratch.Path("dangling").c_str()), 0);
  const Node relative = NodeAt(scratch.Path("relative")), chain = NodeAt(scratch.Path("chain")),
             dangling = NodeAt(scratch.Path("dangling"));
  for (const std::string link : {"relative", "chain", "dangling"}) {
    for (const auto& args : Writers(link)) {
      fs::remove(scratch.Path("far/new.out"));
      const ToolRun run = Lvs(args, "/dev/null", ".stdout", "umask 022;");
      EXPECT_EQ(run.exitCode, 0) << args[0] << " " << link << ": " << run.err;
      const std::string target = scratch.Path(link == "dangling" ? "far/new.out" : "sub/old.out");
      EXPECT_NE(Slurp(target), "an older file") << args[0] << " " << link;
      EXPECT_EQ(ModeOf(target), link == "dangling" ? 0644u : 0640u) << args[0] << " " << link;
    }
  }
  EXPECT_EQ(NodeAt(scratch.Path("relative")), relative);
  EXPECT_EQ(NodeAt(scratch.Path("chain")), chain);
  EXPECT_EQ(NodeAt(scratch.Path("dangling")), dangling);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"chain", "dangling", "far", "far/new.out", "good.lvs", "meta.json",
                                                 "prv.jpg", "relative", "sub", "sub/old.out"}));
}

// A folder the tool may not write in refuses the output whole: what is
// there stays, nothing is added. Root may write anywhere, so root runs the
// tool as nobody.
TEST_F(LvsOutput, AReadOnlyFolderKeepsWhatItHolds) {
  const std::string as = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
  if (Lvs({"--version"}, "/dev/null", ".stdout", as).exitCode != 0) GTEST_SKIP() << "cannot run the tool as nobody";
  File("ro/out", "an older file");
  ::chmod(scratch.Path("ro/out").c_str(), 0666);
  ::chmod(scratch.Path("ro").c_str(), 0555);
  const std::vector<std::string> before = Listing();
  for (const auto& args : Writers("ro/out")) {
    const ToolRun run = Lvs(args, "/dev/null", ".stdout", as);
    EXPECT_EQ(run.exitCode, 2) << args[0] << ": " << run.err;
    EXPECT_NE(run.err.find("cannot write in ro: Permission denied"), std::string::npos) << run.err;
    EXPECT_EQ(Slurp(scratch.Path("ro/out")), "an older file") << args[0];
    EXPECT_EQ(Listing(), before) << args[0];
  }
  ::chmod(scratch.Path("ro").c_str(), 0755);
}

// The temporary name does not grow with the output's: a name of 255 bytes,
// the longest a folder holds, is written; one longer is refused, and
// nothing is left either way.
TEST_F(LvsOutput, TheLongestNamesAreWritten) {
  const std::string package = std::string(251, 'p') + ".lvs", picture = std::string(251, 'r') + ".png";
  ToolRun run = Lvs({"pack", "-o", package, "--preview", "prv.jpg", "--meta", "meta.json"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  // The host may refuse it there: its record holds paths of 259 bytes.
  EXPECT_TRUE(HoldsThePreview(scratch.Path(package)));
  run = Lvs({"render", "good.lvs", "-o", picture});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_FALSE(ReadPng(scratch.Path(picture)).empty());
  for (const auto& args : Writers(std::string(256, 'x'))) EXPECT_EQ(Lvs(args).exitCode, 2) << args[0];
  EXPECT_EQ(Listing(), (std::vector<std::string>{"good.lvs", "meta.json", package, "prv.jpg", picture}));
}

// Text that cannot be written is a failure like any other file's: exit 2
// and a message, for reports, JSON lines, the codes, help and version alike.
// With nothing to print there is nothing to fail.
TEST_F(LvsOutput, TextThatCannotBeWrittenExitsTwo) {
  const std::string full = FullDevice();
  if (full.empty()) GTEST_SKIP() << "no device node of our own can be made here";
  File("lib/a.lvs", Slurp(scratch.Path("good.lvs")));
  File("lib/b.lvs", Slurp(scratch.Path("good.lvs")));
  const std::vector<std::vector<std::string>> commands = {
      {"info", "good.lvs"},
      {"info", "--json", "good.lvs"},
      {"check", "good.lvs"},
      {"check", "-r", "--json", "-j", "2", "lib"},
      {"check", "--codes"},
      {"check", "--codes", "--json"},
      {"--help"},
      {"render", "--help"},
      {"--version"},
      {"decode", "prv.jpg"},
      {"render", "good.lvs", "-o", "out.png", "--json"},
      {"sheet", "lib", "-o", "out.png"},
      {"pack", "-o", "out.lvs", "--preview", "prv.jpg", "--meta", "meta.json"},
  };
  for (const auto& args : commands) {
    const ToolRun run = Lvs(args, "/dev/null", full);
    EXPECT_EQ(run.exitCode, 2) << ::testing::PrintToString(args);
    EXPECT_NE(run.err.find("lvs: cannot write to standard output: No space left on device"), std::string::npos)
        << run.err;
  }
  EXPECT_EQ(Lvs({"info", "-q", "good.lvs"}, "/dev/null", full).exitCode, 0);
  EXPECT_EQ(Lvs({"render", "-q", "good.lvs", "-o", "out.png"}, "/dev/null", full).exitCode, 0);
  // A standard output that is closed fails only when written to.
  const std::string cd = "cd '" + scratch.Dir().string() + "' && '" LVS_TOOL_PATH "' ";
  EXPECT_EQ(WEXITSTATUS(std::system((cd + "info good.lvs >&- 2>/dev/null").c_str())), 2);
  EXPECT_EQ(WEXITSTATUS(std::system((cd + "info -q good.lvs >&- 2>/dev/null").c_str())), 0);
}

// A preview larger than pack takes is refused by its size, before it is
// read: a sparse 200 MB file costs no more memory than a preview that is
// not there at all. Standard input that is a file is sized the same way; an
// endless stream is read up to the limit only.
TEST_F(LvsOutput, APreviewTooLargeIsRefusedUnread) {
  const std::string big = scratch.Path("big.jpg");
  { std::ofstream(big, std::ios::binary) << "\xFF\xD8"; }
  fs::resize_file(big, 200u << 20);
  // The peak in KiB of a pack run, which must fail with `says` on stderr.
  auto peak = [&](const std::string& preview, const std::string& input, const std::string& says) {
    struct rusage usage {};
    const Launch launch(scratch.Dir().string(), {"pack", "-o", "big.lvs", "--preview", preview, "--meta", "meta.json"},
                        input, "/dev/null", scratch.Path(".stderr"));
    EXPECT_EQ(Reap(Start(launch), &usage), 2);
    EXPECT_NE(Slurp(scratch.Path(".stderr")).find(says), std::string::npos) << Slurp(scratch.Path(".stderr"));
    return usage.ru_maxrss;
  };
  const long nothingRead = peak("missing.jpg", "/dev/null", "cannot read missing.jpg");
  EXPECT_LT(peak("big.jpg", "/dev/null", "big.jpg is larger than 4 MiB"), nothingRead + (8 << 10));
  EXPECT_LT(peak("-", big, "standard input is larger than 4 MiB"), nothingRead + (8 << 10));
  const ToolRun run = Lvs({"pack", "-o", "big.lvs", "--preview", "-", "--meta", "meta.json"}, "/dev/zero");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("standard input is larger than 4 MiB"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(scratch.Path("big.lvs")));
}

}  // namespace
