#include "gnss_link/board_settings.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "board_link_texts.h"
#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/ram_nvm.h"
#include "settings/nv_settings.h"
#include "unit/platform/temp_run_dir.h"

namespace {

// Commands written "path=value" or "path=value:tag", blank-separated.
struct Cmd {
  std::string path, value;
  int tag;
  std::string text() const { return "set," + path + "," + value + "\n"; }
};
std::vector<Cmd> cmds(const std::string& list) {
  std::vector<Cmd> out;
  std::istringstream in(list);
  for (std::string w; in >> w;) {
    const std::size_t eq = w.find('='), colon = w.rfind(':');
    const bool tagged = colon != std::string::npos && colon > eq;
    out.push_back({w.substr(0, eq), w.substr(eq + 1, (tagged ? colon : w.size()) - eq - 1),
                   tagged ? std::stoi(w.substr(colon + 1)) : 0});
  }
  return out;
}
bool put(CmdBuf& b, const Cmd& c) {
  const std::string t = c.text();
  return b.put(t.data(), static_cast<int>(t.size()), static_cast<int>(c.path.size()), c.tag);
}
bool put(CmdBuf& b, const std::string& list) {
  for (const Cmd& c : cmds(list))
    if (!put(b, c)) return false;
  return true;
}
std::string texts(const CmdBuf& b) {
  std::string out;
  for (int i = 0; i < b.count(); ++i) out += b.at(i).text;
  return out;
}
std::string texts(const std::string& list) {
  std::string out;
  for (const Cmd& c : cmds(list)) out += c.text();
  return out;
}

std::unique_ptr<CmdBuf> fresh() { return std::make_unique<CmdBuf>(); }

const std::string kHead = boardlink::kFileHead;
const std::string kEmptyFile = kHead + "#@count:0\nset,cmd/set/issue,0\n";

// A blank settings image; its save hooks point at the test's own record while it lives, and at
// nothing before and after it.
class BoardSettings : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    // The receiver settings as a start finds them: read from the image, not put back to their
    // defaults (which would reset the board's record whatever it holds).
    FileNvmLoad();
    nv_readSettings();
    nv_readSettings();
    FileNvmLoad();
    RamNvm::setSnapshotHook(nullptr);
    FileNvmSetCommitHook(nullptr);
  }
  void TearDown() override {
    RamNvm::setSnapshotHook(nullptr);
    FileNvmSetCommitHook(nullptr);
    TempRunDir::TearDown();
  }
};

TEST(BoardSettingsRecord, WhichCommandsReplaceWhich) {
  const struct {
    const char* name;
    const char* put;
    const char* kept;
  } cases[] = {
      {"same path: the later value takes the first place", "a=5 a=7", "a=7"},
      {"a parent replaces its children in the earliest place", "a/b=1 x=2 a=7", "a=7 x=2"},
      {"a partial list amends the complete one before it", "l={1,2,3}:3 l={,5,}:-3", "l={1,2,3} l={,5,}"},
      {"a later complete list replaces both", "l={1,2,3}:3 l={,5,}:-3 l={4,5,6}:3", "l={4,5,6}"},
      {"a shorter complete list does not replace a longer one", "l={1,2,3}:3 l={7,8}:2", "l={1,2,3} l={7,8}"},
      {"an identical earlier command stays where it is", "a=1 b=2 a=1", "a=1 b=2"},
      {"a prefix that is not a parent is unrelated", "ab=1 a=2", "ab=1 a=2"},
      {"a plain value over two children keeps the first place", "a/x=1 q=0 a/y=2 a=3", "a=3 q=0"},
  };
  for (const auto& c : cases) {
    auto b = fresh();
    EXPECT_TRUE(put(*b, c.put)) << c.name;
    EXPECT_EQ(texts(*b), texts(c.kept)) << c.name;
  }
}

TEST(BoardSettingsRecord, MalformedLinesIssuesAndPrint) {
  auto b = fresh();
  const std::pair<const char*, int> bad[] = {{"set,a,1\n", 0}, {"set,a,1\n", 7}, {"get,a,1\n", 1},
                                             {"set,ab,1\n", 1}, {"set\n", 0}};
  for (auto [text, pathLen] : bad)
    EXPECT_FALSE(b->put(text, static_cast<int>(std::strlen(text)), pathLen, 0)) << text << pathLen;
  put(*b, "a=5 a=5 lock/x={1,,3}:-3");  // the identical one changes nothing but the issue
  EXPECT_EQ(b->issue(), 4u);
  b->clear();
  EXPECT_EQ(b->count() + b->issue(), 0u);
  put(*b, "b=1");
  EXPECT_EQ(b->issue(), 2u);  // the issue starts again at two after a clear
}


std::string storeText(const CmdBuf& b) {
  char* mem = nullptr;
  std::size_t size = 0;
  std::FILE* f = open_memstream(&mem, &size);
  std::vector<CmdBuf::Element> e(static_cast<std::size_t>(b.count()) + 1);
  for (int i = 0; i < b.count(); ++i) e[static_cast<std::size_t>(i)] = b.at(i);
  EXPECT_TRUE(CmdBuf::store(f, e.data(), b.count(), b.issue()));
  std::fclose(f);
  std::string s(mem, size);
  std::free(mem);
  return s;
}

bool loadText(CmdBuf& b, const std::string& text) {
  std::FILE* f = text.empty() ? std::fopen("/dev/null", "r")
                              : fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  const bool ok = b.load(f);
  std::fclose(f);
  return ok;
}

TEST(BoardSettingsFile, ExactText) {
  auto b = fresh();
  EXPECT_EQ(storeText(*b), kEmptyFile);
  put(*b, "a/b=1 x=2 a=7 l={1,2,3}:3 l={,5,}:-3 x=2");
  EXPECT_EQ(storeText(*b), kHead +
                               "#@count:4\nset,cmd/set/issue,0\nset,a,7 # 8 1 0\nset,x,2 # 8 1 0\n"
                               "set,l,{1,2,3} # 14 1 3\nset,l,{,5,} # 12 1 -3\nset,cmd/set/issue,7\n");
}

TEST(BoardSettingsFile, EveryLineTheWriterProducesLoadsBack) {
  // The longest command (249 characters of path and value) as a partial list of many elements,
  // a '#' and blanks in a value, an empty value.
  const std::string path = "calib/" + std::string(100, 'p');
  auto b = fresh();
  ASSERT_TRUE(put(*b, Cmd{path, "{1" + std::string(248 - path.size() - 2, ',') + "}", -300}));
  ASSERT_TRUE(put(*b, Cmd{"v", "a#b  ", 0}) && put(*b, "w="));
  auto c = fresh();
  ASSERT_TRUE(loadText(*c, storeText(*b)));
  ASSERT_EQ(c->count(), 3);
  EXPECT_EQ(c->issue(), b->issue());
  for (int i = 0; i < 3; ++i) {
    const CmdBuf::Element &x = c->at(i), &y = b->at(i);
    EXPECT_STREQ(x.text, y.text);
    EXPECT_TRUE(x.len == y.len && x.pathLen == y.pathLen && x.tag == y.tag) << i;
  }
  EXPECT_EQ(c->at(0).len, 255);
  EXPECT_EQ(c->at(0).tag, -128);
}

TEST(BoardSettingsFile, WhatTheLoaderTakesAndRefuses) {
  const std::string h1 = kHead + "#@count:1\nset,cmd/set/issue,0\n", h2 = kHead + "#@count:2\nset,cmd/set/issue,0\n";
  const std::string e = "set,a,1 # 8 1 0\n", e2 = e + "set,b,2 # 8 1 0\n", fin = "set,cmd/set/issue,5\n";
  const struct {
    const char* name;
    std::string text;
    int count;  // -1: refused, the record left empty
    unsigned issue;
  } cases[] = {
      {"final issue line", h2 + e2 + fin, 2, 5}, {"no final line: issue 0", h2 + e2, 2, 0},
      {"a hole: a lone line feed", h2 + e + " # 1 0 0\n" + fin, 2, 5},
      {"empty file", "", -1, 0}, {"foreign first line", "#@SSv1: x\n#@count:1\nset,cmd/set/issue,0\n" + e + fin, -1, 0},
      {"fewer elements than counted", h1 + fin, -1, 0},
      {"length beyond the text", h1 + "set,a,1 # 10 1 0\n" + fin, -1, 0},
      {"path length beyond the text", h1 + "set,a,1 # 8 200 0\n" + fin, -1, 0},
      {"path length not ending at a comma", h1 + "set,ab,1 # 9 1 0\n" + fin, -1, 0},
      {"tag beyond a byte", h1 + "set,a,{1} # 10 1 300\n" + fin, -1, 0},
      {"list tag on a plain value", h1 + "set,a,1 # 8 1 2\n" + fin, -1, 0},
      {"list tag larger than the list", h1 + "set,a,{1,2} # 12 1 3\n" + fin, -1, 0},
      {"length above 255", h1 + "set,a," + std::string(251, 'v') + " # 258 1 0\n" + fin, -1, 0},
      {"line far longer than any the writer makes", h1 + std::string(2000, 's') + " # 8 1 0\n" + fin, -1, 0},
      {"zero byte in a line", h1 + std::string("set,a,\0 # 8 1 0\n", 16) + fin, -1, 0},
  };
  for (const auto& c : cases) {
    auto b = fresh();
    put(*b, "old=1");
    EXPECT_EQ(loadText(*b, c.text), c.count >= 0) << c.name;
    EXPECT_EQ(b->count(), c.count < 0 ? 0 : c.count) << c.name;
    EXPECT_EQ(b->issue(), c.issue) << c.name;
  }
}

TEST(BoardSettingsFile, RandomAndTruncatedFilesNeverBreakTheRecord) {
  auto src = fresh();
  put(*src, "lock/gps={1,2,3}:3 lock/gps={,5,}:-3");
  put(*src, Cmd{"spectr/a", "\"x y\"", 0});
  const std::string good = storeText(*src);
  std::mt19937 rng(7);
  auto b = fresh();
  // Only a cut right after a whole element line can pass (as a file without final line).
  for (std::size_t cut = 0; cut < good.size(); ++cut)
    EXPECT_TRUE(!loadText(*b, good.substr(0, cut)) || b->issue() == 0u) << cut;
  for (int round = 0; round < 3000; ++round) {
    std::string t = good;
    const int flips = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < flips; ++i) t[rng() % t.size()] = static_cast<char>(rng() % 256);
    if (rng() % 3 == 0) t = t.substr(0, rng() % t.size());
    if (!loadText(*b, t)) {
      EXPECT_EQ(b->count(), 0);
      continue;
    }
    // Whatever loads is usable: every path ends at a comma inside its text.
    for (int i = 0; i < b->count(); ++i) {
      const CmdBuf::Element& e = b->at(i);
      ASSERT_LE(static_cast<int>(e.len), 255);
      ASSERT_TRUE(e.len <= 4 || (4 + e.pathLen < e.len && e.text[4 + e.pathLen] == ',')) << e.text;
    }
    put(*b, "lock/gps={9,9,9}:3");  // and the record can be changed after it
  }
  std::string junk(400, 0);
  for (int round = 0; round < 500; ++round) {
    for (auto& ch : junk) ch = static_cast<char>(rng() % 256);
    EXPECT_FALSE(loadText(*b, kHead + "#@count:1\nset,cmd/set/issue,0\n" + junk));
  }
}


CmdBuf* g_cur = nullptr;

void installHooks(CmdBuf* b) {
  g_cur = b;
  RamNvm::setSnapshotHook([] { return g_cur->snapshot(); });
  FileNvmSetCommitHook([] { g_cur->commit(); });
}

std::unique_ptr<CmdBuf> start(std::uint32_t boardIssue) {
  FileNvmLoad();
  auto b = fresh();
  installHooks(b.get());
  b->nvRead(boardIssue);
  return b;
}

void save() { ASSERT_TRUE(FileNvmSave(0, true)); }

TEST_F(BoardSettings, SnapshotAndCommit) {
  auto b = start(0);
  put(*b, "a=1 b=2");
  const std::uint32_t issue = b->issue();
  // A snapshot while a change is in progress fails and leaves the record alone.
  b->updateBegin();
  EXPECT_FALSE(b->snapshot());
  EXPECT_FALSE(exists(CmdBuf::kTmpFile));
  EXPECT_EQ(texts(*b), texts("a=1 b=2"));
  EXPECT_EQ(b->issue(), issue);
  b->updateEnd();
  // The image save failed: no commit. The file must still be written at the next save.
  ASSERT_TRUE(b->snapshot());
  EXPECT_NE(b->storedIssue(), b->issue());
  ASSERT_TRUE(b->snapshot());
  EXPECT_TRUE(exists(CmdBuf::kTmpFile));
  // A commit that cannot move the file leaves the issue unstored as well.
  ASSERT_EQ(mkdir(CmdBuf::kFile, 0755), 0);
  ASSERT_EQ(mkdir((std::string(CmdBuf::kFile) + "/x").c_str(), 0755), 0);
  EXPECT_FALSE(b->commit());
  EXPECT_NE(b->storedIssue(), b->issue());
  ASSERT_EQ(std::system("rm -rf .gnss.set"), 0);
  ASSERT_TRUE(b->snapshot() && b->commit());
  EXPECT_EQ(b->storedIssue(), b->issue());
  EXPECT_NE(readFile(CmdBuf::kFile).find("set,b,2 # 8 1 0\nset,cmd/set/issue," + std::to_string(b->issue())),
            std::string::npos);
  ASSERT_TRUE(b->snapshot());  // nothing new: nothing written
  EXPECT_FALSE(exists(CmdBuf::kTmpFile));
}

TEST_F(BoardSettings, SavesBeforeTheCheckAfterAClearAndOfAClearedImage) {
  writeFile(CmdBuf::kFile, "kept\n");
  auto b = fresh();
  installHooks(b.get());
  save();  // before the start-up check: the file is left alone
  EXPECT_EQ(readFile(CmdBuf::kFile), "kept\n");
  b = start(0);
  put(*b, "a=1");
  save();
  b->clear();
  put(*b, "b=2");  // issue 2 again, other content
  save();
  EXPECT_EQ(readFile(CmdBuf::kFile), kHead + "#@count:1\nset,cmd/set/issue,0\nset,b,2 # 8 1 0\nset,cmd/set/issue,2\n");
  NvBlock::clearAll();
  save();
  EXPECT_EQ(readFile(CmdBuf::kFile), kEmptyFile);
  EXPECT_EQ(b->count(), 1);  // a save leaves the record in memory alone
}


using BoardSettingsDeathTest = BoardSettings;

std::string regexOf(const std::string& text) {
  std::string r;
  for (char ch : text) r += std::strchr("$()[].*+?^{}|\\", ch) ? std::string("\\") + ch : std::string(1, ch);
  return r;
}

TEST_F(BoardSettingsDeathTest, StartUpCheck) {
  const struct {
    const char* name;
    bool imageLost, fileCut;
    int board;         // the issue the board reports; -1: the record's own
    const char* says;  // on the error output ("": nothing of the check)
    bool restarts;
    int kept;  // commands at the next start with a reset board
  } cases[] = {
      {"a board with the stored issue is left alone", false, false, -1, "", false, 2},
      {"image lost: the file's commands go", true, false, 0, "commands (3,2) mismatch nv (0,0): clearing commands\n",
       false, 0},
      {"a board with another issue restarts the receiver", false, false, 9,
       "$$CmdBuf: board issue 9 mismatch commands (3,2): restarting\n", true, 2},
      {"image lost and a board with settings: cleared, then restart", true, false, 4,
       "$$CmdBuf: commands (3,2) mismatch nv (0,0): clearing commands\n", true, 0},
      {"a corrupted file with a valid image clears the image", false, true, 0,
       "$$CmdBuf: commands (0,0) mismatch nv (3,2): clearing NVRAM\n", true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(std::system("rm -f .gnss.*"), 0);
    std::uint32_t issue = 0;
    {
      auto b = start(0);
      put(*b, "a=1 b={1,,3}:-3");
      issue = b->issue();
      save();
    }
    if (c.imageLost) std::remove(kNvmFile);
    if (c.fileCut) writeFile(CmdBuf::kFile, readFile(CmdBuf::kFile).substr(0, 90));
    const std::uint32_t board = c.board < 0 ? issue : static_cast<std::uint32_t>(c.board);
    if (c.restarts) {
      EXPECT_EXIT(start(board), testing::ExitedWithCode(0), regexOf(c.says));
    } else {
      testing::internal::CaptureStderr();
      const int count = start(board)->count();
      const std::string err = testing::internal::GetCapturedStderr();
      EXPECT_EQ(err.find(*c.says ? c.says : "$$") != std::string::npos, *c.says != 0) << err;
      EXPECT_EQ(count, c.kept);
    }
    EXPECT_EQ(start(0)->count(), c.kept);
  }
}


constexpr int kOld = 10, kNew = 11, kWhole = 12;
int g_killAt = 0, g_step = 0;
bool g_imageInPlace = false;

// Ends the process after step g_killAt of a save, telling which image storage holds then.
void killAtStep(const char* name) {
  g_imageInPlace = g_imageInPlace || std::strcmp(name, "image rename") == 0;
  if (++g_step == g_killAt) _exit(g_imageInPlace ? kNew : kOld);
}

// One run in a child process (error output in "err"): the start-up check against a board that
// lost its settings, then `body` with the record and a setting of the image. Its exit code.
template <class F>
int run(F body) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(::open("err", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644), 2);
    auto b = start(0);
    NvBlock block;
    block.allocate(1, 4242, true);
    body(*b, block);
    _exit(kWhole);
  }
  int st = 0;
  waitpid(pid, &st, 0);
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

TEST_F(BoardSettings, AKillAtAnyStepOfASaveLeavesTheOldOrTheNewSettings) {
  auto change = [](const char* value, const char* cmd, int killAt) {
    return [=](CmdBuf& b, NvBlock& block) {
      block.update(value, 1);
      put(b, cmd);
      g_killAt = killAt;
      fileNvmStepHook = killAtStep;
      FileNvmSave(0, true);
    };
  };
  // What a start finds, image and record together; saved again for the start after it.
  auto found = [](CmdBuf& b, NvBlock& block) {
    char v = 0;
    block.read(&v, 1);
    const bool old = v == 'O' && texts(b) == "set,a,1\n", now = v == 'N' && texts(b) == "set,a,1\nset,b,2\n";
    FileNvmSave(0, true);
    _exit(old ? kOld : now ? kNew : 0);
  };
  ASSERT_EQ(run(change("O", "a=1", 0)), kWhole) << readFile("err");
  const std::string image = readFile(kNvmFile), record = readFile(CmdBuf::kFile);
  int k = 1;
  for (;; ++k) {
    writeFile(kNvmFile, image);
    writeFile(CmdBuf::kFile, record);
    std::remove(kNvmTmpFile);
    std::remove(CmdBuf::kTmpFile);
    const int stored = run(change("N", "b=2", k));
    if (stored == kWhole) break;
    for (int start = 0; start < 2; ++start) EXPECT_EQ(run(found), stored) << "step " << k << "\n" << readFile("err");
  }
  // Both files created, written, synced and renamed, the directory synced after each.
  EXPECT_GE(k, 10);
}

}  // namespace
