// The USB copy watched from its files under host/: the copy state the marker files give, the
// progress read from the copy tool's output (rsync's own output as the oracle), the recording LED
// and the log store's status LEDs as the state changes, the task's passes counted, and the print
// keys.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

#include "command/settings_commands.h"
#include "files/log_files.h"
#include "gnss_link/peripherals/usb_storage.h"
#include "gnss_link/peripherals/usb_storage_keys.h"
#include "platform/file_nvm.h"
#include "platform/leds.h"
#include "platform/ports/io_port_index.h"
#include "settings/debug_selectors.h"
#include "settings/nv_settings.h"
#include "unit/command/capture_port.h"
#include "unit/platform/gpio_stand_in.h"
#include "unit/platform/leds_outside.h"
#include "unit/platform/temp_run_dir.h"

namespace {

// The copy tool's output held in memory, read backwards as the progress file is.
struct TextBack {
  const char* text;
  std::size_t at;
  int operator()() { return at == 0 ? -1 : static_cast<unsigned char>(text[--at]); }
};
bool progressWindow(const char* text, std::size_t n, char (&window)[kProgressWindow]) {
  TextBack back{text, n};
  return windowFromEnd(back, window);
}
bool parseProgressText(const char* text, std::size_t n, int& percent, std::int64_t& bytes) {
  char w[kProgressWindow];
  return progressWindow(text, n, w) && parseProgressWindow(w, percent, bytes);
}

// The state at program start: nothing copied, counter 0.
void resetUsbStorage() {
  usbStorage.EcardStatus.store(kEdiskNone);
  usbStorage.percent.store(0);
  usbStorage.bytes.store(0);
  usbStorage.passCounter = 0;
}

const std::string kMounted = std::string("host") + kEdiskMountedFile;
const std::string kFinished = std::string("host") + kEdiskFinishedFile;
const std::string kProgress = std::string("host") + kEdiskProgressFile;

// The recording LED's lines as the LED state holds them (written again by a forced refresh): bit 0
// green lit, bit 1 red lit.
int recLines() { return standin::ledKept(kLedRec); }
// The same as the GPIO stand-in files show them now.
int recShown() { return standin::ledShown(kLedRec); }

// The marker files: present with their content, or absent (null).
void markers(bool mounted, const char* finished) {
  std::remove(kMounted.c_str());
  std::remove(kFinished.c_str());
  if (mounted) writeFile(kMounted, "");
  if (finished) writeFile(kFinished, finished);
}

class UsbStorageFiles : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    ASSERT_TRUE(standin::layOutGpio(".", {kLedPosGreenLine, kLedPosRedLine, kLedRecGreenLine, kLedRecRedLine}));
    standin::ledsDark();
    resetUsbStorage();
    // The log store shows its recording state on the recording LED, as the program wires it.
    wpcLedHook = [](bool on) { leds(kLedRec, on ? kLedGreen : kLedOff, kLedShow); };
    wpcClearBits(~0u);
    pcfEnableLights(true);
    dbi = 0;
  }
  void TearDown() override {
    cfClose(-1);
    wpcLedHook = nullptr;
    standin::ledsDark();
    dbi = 0;
    TempRunDir::TearDown();
  }
};

using UsbMarkers = UsbStorageFiles;
using UsbProgress = UsbStorageFiles;
using UsbPasses = UsbStorageFiles;

TEST_F(UsbMarkers, StateFromTheMarkerFiles) {
  const struct {
    const char* name;
    bool mounted;
    const char* finished;  // null: absent
    int state, err;
  } rows[] = {
      {"finished 12 (out of range)", true, "12", 3, 0},
      {"finished a word", true, "word", 3, 0},
      {"finished empty", true, "", 3, 0},
      {"finished -5", true, "-5", -5, 5},
      {"finished 0", false, "0", 0, 0},
      {"finished -9 (below the range)", true, "-9", 3, 0},
      {"finished -8 (lowest)", true, "-8\n", -8, 8},
      {"finished 3 with its line end", false, "3\n", 3, 0},
      {"finished 1, more lines after it", true, "1\nmore\n", 1, 0},
      {"finished 4 (above the range)", true, "4", 3, 0},
      {"finished 1234 (four characters)", true, "1234", 3, 0},
      {"finished -10 (three characters, out of range)", true, "-10", 3, 0},
      {"finished with an empty first line", true, "\n-5\n", 3, 0},
      {"finished 1 after a blank", true, " 1", 3, 0},
      {"no finished marker, mounted", true, nullptr, 2, 0},
      {"neither", false, nullptr, 0, 0},
  };
  for (const auto& r : rows) {
    markers(r.mounted, r.finished);
    EXPECT_EQ(ediskGetState_f(), r.state) << r.name;
    edisk_SET_STAT(ediskGetState_f());
    EXPECT_EQ(ediskGetStat(), r.state) << r.name;
    EXPECT_EQ(ediskGetErr(), r.err) << r.name;
  }
}

// What is not a regular file where a marker is expected: it exists, so it counts, and reading
// it neither blocks nor fails.
TEST_F(UsbMarkers, AFifoOrADirectoryIsAMarkerWithoutAValue) {
  markers(false, nullptr);
  std::filesystem::create_directories("host/var/run");
  std::filesystem::create_directories("host/home/firm");
  ASSERT_EQ(mkfifo(kFinished.c_str(), 0600), 0);
  EXPECT_EQ(ediskGetState_f(), kEdiskFinished);
  std::remove(kFinished.c_str());
  ASSERT_EQ(mkdir(kFinished.c_str(), 0700), 0);
  EXPECT_EQ(ediskGetState_f(), kEdiskFinished);
  rmdir(kFinished.c_str());
  ASSERT_EQ(mkfifo(kMounted.c_str(), 0600), 0);
  EXPECT_EQ(ediskGetState_f(), kEdiskCopying);
  std::remove(kMounted.c_str());
  // The progress file as a FIFO: nothing read, nothing changed.
  ASSERT_EQ(mkfifo(kProgress.c_str(), 0600), 0);
  usbStorage.percent = 9;
  readFileCopyProgr();
  EXPECT_EQ(usbStorage.percent.load(), 9);
}

// Each row's text, through the parser of a text and through the progress file; a row that
// changes nothing leaves the values stored before.
TEST_F(UsbProgress, LastUpdateOfTheLastLine) {
  constexpr int kKeep = -7;
  const struct {
    const char* name;
    std::string text;
    int percent;           // kKeep: nothing changes
    std::int64_t bytes, kb;
  } rows[] = {
      {"six blanks, 1,234,567, two blanks, 45%", "      1,234,567  45%", 45, 1234567, 1205},
      {"18 characters before the %", "     1,234,567  45%", kKeep, 0, 0},
      {"a short line", "45%", kKeep, 0, 0},
      {"past 2 GiB", "  3,221,225,472  67%", 67, 3221225472LL, 3145728},
      {"a count filling all 15 characters", "100,000,000,000 100%", 100, 100000000000LL, 97656250},
      {"rsync's layout, small", "         32,768   1%", 1, 32768, 32},
      {"updates separated by CR", "\r      1,000,000  10%    0.00kB/s\r      2,000,000  20%  1.00MB/s", 20, 2000000, 1953},
      {"line ended by LF", "      1,234,567  45%\n", 45, 1234567, 1205},
      {"the last line empty", "      1,234,567  45%\n\n", kKeep, 0, 0},
      {"the last line without %", "      1,234,567  45%\ncopy done", kKeep, 0, 0},
      {"an earlier line of updates, the last one short", "      1,234,567  45%\n 9%", kKeep, 0, 0},
      {"the percentage no number", "      1,234,567  xx%", kKeep, 0, 0},
      {"the count no number", "      abcdefghi  45%", 45, -1, -1},
      {"no count", "                 45%", 45, -1, -1},
      {"more than three commas: three go", "  1,2,3,4,5,678  45%", 45, 1234, 1},
      {"a percentage of one digit", "          9,999   5%", 5, 9999, 9},
      {"an LF inside the 19 characters", "xxxxxxxxxx\n1,234,567  45%", kKeep, 0, 0},
      {"empty", "", kKeep, 0, 0},
      {"one LF", "\n", kKeep, 0, 0},
      // The file is read backwards a block (4096 bytes) at a time: windows at the block edges.
      {"the window across a block edge", std::string(100, 'x') + "      1,234,567  45%" + std::string(4085, 'x'), 45, 1234567, 1205},
      {"an LF in the block before, within the 19", std::string(100, 'x') + "\n  1,234,567  45%" + std::string(4080, 'x'), kKeep, 0, 0},
      {"a long tail after the last update", "      1,234,567  45%" + std::string(9000, 'x'), 45, 1234567, 1205},
      {"the last line starting blocks earlier", "a\n" + std::string(9000, '%') + "          9,999   5%", 5, 9999, 9},
  };
  for (const auto& r : rows) {
    int pct = kKeep;
    std::int64_t bytes = 0;
    const bool parsed = parseProgressText(r.text.data(), r.text.size(), pct, bytes);
    EXPECT_EQ(parsed, r.percent != kKeep) << r.name;
    if (parsed) {
      EXPECT_EQ(pct, r.percent) << r.name;
      EXPECT_EQ(bytes, r.bytes) << r.name;
    }
    usbStorage.percent = kKeep;
    usbStorage.bytes = 1 << 20;
    writeFile(kProgress, r.text);
    readFileCopyProgr();
    int p = 0;
    std::int64_t kb = 0;
    ediskGetProgr(p, kb);
    EXPECT_EQ(p, r.percent) << r.name;
    EXPECT_EQ(kb, r.percent == kKeep ? 1024 : r.kb) << r.name;
  }
  std::remove(kProgress.c_str());
  usbStorage.percent = 3;
  readFileCopyProgr();
  EXPECT_EQ(usbStorage.percent.load(), 3) << "no progress file changes nothing";
}

// rsync copies a file of the test's own with its progress written where the scripts write it;
// the last update is read as rsync printed it. Past 2 GiB, rsync appends the last MiB to a sparse
// copy that already holds the rest, so no gigabytes are moved.
TEST_F(UsbProgress, RsyncOutputAsTheOracle) {
  ASSERT_EQ(access("/usr/bin/rsync", X_OK), 0) << "rsync is required: run scripts/setup";
  const struct {
    const char* name;
    long long size, present;  // file size, bytes already at the destination
    std::int64_t kb;
  } rows[] = {
      {"3 MiB", 3LL << 20, 0, 3072},
      {"3 GiB, 2 GiB past", 3LL << 30, (3LL << 30) - (1LL << 20), 3145728},
  };
  for (const auto& r : rows) {
    std::remove("src.bin");
    std::filesystem::remove_all("dst");
    std::filesystem::create_directories("dst");
    std::string data(r.present > 0 ? 0 : static_cast<std::size_t>(r.size), '\0');
    std::mt19937 rng(7);
    for (char& c : data) c = static_cast<char>(rng());
    writeFile("src.bin", data);
    writeFile("dst/src.bin", "");
    // Sparse where nothing was written: the gigabytes read as zeros and take no room.
    ASSERT_EQ(truncate("src.bin", r.size) | truncate("dst/src.bin", r.present), 0);
    writeFile(kProgress, "");
    const std::string cmd = std::string("rsync ") + (r.present > 0 ? "--append " : "") +
                            "--info=progress2 src.bin dst/ >" + kProgress + " 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << r.name << ": " << readFile(kProgress);
    ASSERT_EQ(std::filesystem::file_size("dst/src.bin"), static_cast<std::uintmax_t>(r.size)) << r.name;
    usbStorage.percent = 0;
    readFileCopyProgr();
    int p = 0;
    std::int64_t kb = 0;
    ediskGetProgr(p, kb);
    EXPECT_EQ(p, 100) << r.name << ": " << readFile(kProgress);
    EXPECT_EQ(usbStorage.bytes.load(), r.size) << r.name;
    EXPECT_EQ(kb, r.kb) << r.name;
  }
  std::filesystem::remove_all("dst");
  std::remove("src.bin");
}

// Random and cut texts: no fault; whatever parses has a window of 20 characters ending with "%"
// in the last line.
TEST(UsbProgressText, RandomAndTruncatedInput) {
  std::mt19937 rng(3);
  const std::string good = "\r      3,145,728 100%  494.79MB/s    0:00:00 (xfr#1, to-chk=0/1)\n";
  for (std::size_t cut = 0; cut <= good.size(); ++cut) {
    int p = 0;
    std::int64_t b = 0;
    const bool parsed = parseProgressText(good.data(), cut, p, b);
    EXPECT_EQ(parsed, cut >= 21) << cut;
    if (parsed) {
      EXPECT_EQ(b, 3145728) << cut;
    }
  }
  for (int i = 0; i < 3000; ++i) {
    std::string s(rng() % 80, ' ');
    for (char& c : s) c = rng() % 4 == 0 ? "%,\n\r 0123456789-+"[rng() % 17] : static_cast<char>(rng());
    char w[kProgressWindow];
    int p = 0;
    std::int64_t b = 0;
    if (progressWindow(s.data(), s.size(), w)) {
      EXPECT_EQ(w[kProgressWindow - 1], '%');
      EXPECT_EQ(std::string(w, kProgressWindow).find('\n'), std::string::npos);
      parseProgressWindow(w, p, b);
    }
    parseProgressText(s.data(), s.size(), p, b);
  }
}

// Entering and leaving the copy: the recording LED and the log store's status LEDs, for a
// receiver recording and one not.
TEST_F(UsbPasses, StateChangesSwitchTheLeds) {
  const struct {
    const char* name;
    bool recording;
    int from, to;
    int linesAfter;  // the recording LED: bit 0 green, bit 1 red
    bool zeroed;
  } rows[] = {
      {"not recording, entering the copy", false, 0, 2, 3, true},
      {"recording, entering the copy", true, 0, 2, 3, true},
      {"not recording, copy ended", false, 2, 3, 0, false},
      {"recording, copy ended: the recording state back", true, 2, 3, 1, false},
      {"recording, copy failed", true, 2, -5, 1, false},
      {"copying, copying again: nothing", false, 2, 2, 3, false},
      {"no drive to an error: nothing", true, 0, -2, 1, false},
  };
  for (const auto& r : rows) {
    standin::ledsDark();
    resetUsbStorage();
    wpcClearBits(~0u);
    pcfEnableLights(true);
    if (r.recording) {
      ASSERT_TRUE(cfStartLogging("rec.log", false, false, 0));
    }
    edisk_SET_STAT(r.from);
    usbStorage.percent = 50;
    usbStorage.bytes = 5000;
    edisk_SET_STAT(r.to);
    EXPECT_EQ(ediskGetStat(), r.to) << r.name;
    EXPECT_EQ(recLines(), r.linesAfter) << r.name;
    EXPECT_EQ(recShown(), r.linesAfter) << r.name;
    EXPECT_EQ(usbStorage.percent.load(), r.zeroed ? 0 : 50) << r.name;
    EXPECT_EQ(usbStorage.bytes.load(), r.zeroed ? 0 : 5000) << r.name;
  }
  // While copying the log store's status LEDs stay off: a recording that starts does not show.
  standin::ledsDark();
  resetUsbStorage();
  wpcClearBits(~0u);
  edisk_SET_STAT(kEdiskCopying);
  ASSERT_TRUE(cfStartLogging("rec.log", false, false, 0));
  EXPECT_NE(recLines(), 1);
  edisk_SET_STAT(kEdiskFinished);
  EXPECT_EQ(recLines(), 1) << "the recording shows once the copy ended";
}

// Pass by pass: each row lays out the files, runs one pass and checks what it left. While copying
// every pass toggles both recording lines and every eleventh reads the markers and the progress.
TEST_F(UsbPasses, EveryPassBlinksEveryEleventhReads) {
  const char* const k45 = "      1,234,567  45%";
  const char* const k67 = "  3,221,225,472  67%";
  struct Row {
    const char* name;
    bool mounted;
    const char* finished;
    const char* progress;
    int state, lines, percent;
    std::int64_t bytes;
    int ticks;
  };
  std::vector<Row> rows = {
      {"no drive", false, nullptr, k45, 0, 0, 0, 0, kUsbDiskIdleTicks},
      {"mounted: copying, progress zeroed", true, nullptr, k45, 2, 3, 0, 0, kUsbDiskCopyTicks},
      {"pass 0: toggle, markers and progress read", true, nullptr, k45, 2, 0, 45, 1234567, kUsbDiskCopyTicks},
  };
  // Passes 1..10 of the eleven: toggles only, the finished marker and new progress unseen.
  for (int n = 1; n <= 10; ++n)
    rows.push_back({"passes 1..10: toggle only", true, "-5", k67, 2, n % 2 == 1 ? 3 : 0, 45, 1234567, kUsbDiskCopyTicks});
  rows.push_back({"pass 0 again: the error read, lines dark, progress read", true, "-5", k67, -5, 0, 67, 3221225472LL, kUsbDiskIdleTicks});
  rows.push_back({"error stays", true, "-5", k67, -5, 0, 67, 3221225472LL, kUsbDiskIdleTicks});
  rows.push_back({"marker gone: copying again, zeroed", true, nullptr, k67, 2, 3, 0, 0, kUsbDiskCopyTicks});
  rows.push_back({"drive gone between reads", false, nullptr, k67, 2, 0, 0, 0, kUsbDiskCopyTicks});
  for (int n = 2; n <= 10; ++n)
    rows.push_back({"passes 2..10", false, nullptr, k67, 2, n % 2 == 0 ? 3 : 0, 0, 0, kUsbDiskCopyTicks});
  rows.push_back({"pass 0: no drive", false, nullptr, k67, 0, 0, 67, 3221225472LL, kUsbDiskIdleTicks});

  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& r = rows[i];
    markers(r.mounted, r.finished);
    writeFile(kProgress, r.progress);
    EXPECT_EQ(usbDiskPass(), r.ticks) << i << " " << r.name;
    EXPECT_EQ(ediskGetStat(), r.state) << i << " " << r.name;
    EXPECT_EQ(recLines(), r.lines) << i << " " << r.name;
    EXPECT_EQ(recShown(), r.lines) << i << " " << r.name;
    EXPECT_EQ(usbStorage.percent.load(), r.percent) << i << " " << r.name;
    EXPECT_EQ(usbStorage.bytes.load(), r.bytes) << i << " " << r.name;
  }
}

// The debug selector forces the state for one pass and is then set to 4.
TEST_F(UsbPasses, DebugSelectorForcesTheState) {
  const struct {
    const char* name;
    int selector;
    bool mounted;
    int passesBefore;  // passes while copying before the forcing one (not at a read)
    int state, selectorAfter, lines;
  } rows[] = {
      {"73528 forces copying without a drive", kDbgEdiskForceCopying, false, 0, 2, 4, 0},
      {"73529 forces finished, the markers then read", kDbgEdiskForceFinished, false, 0, 0, 4, 0},
      {"73529 while copying ends the blink", kDbgEdiskForceFinished, true, 3, 2, 4, 3},
      {"other values force nothing", 73527, false, 0, 0, 73527, 0},
  };
  for (const auto& r : rows) {
    standin::ledsDark();
    resetUsbStorage();
    markers(r.mounted, nullptr);
    dbi = 0;
    for (int i = 0; i < r.passesBefore; ++i) usbDiskPass();
    // Away from the read pass, so that the forced state is what the pass leaves.
    usbStorage.passCounter = 5;
    dbi = r.selector;
    usbDiskPass();
    EXPECT_EQ(ediskGetStat(), r.state) << r.name;
    EXPECT_EQ(dbi, r.selectorAfter) << r.name;
    EXPECT_EQ(recLines(), r.lines) << r.name;
  }
}

class UsbKeys : public UsbStorageFiles {
 protected:
  void SetUp() override {
    UsbStorageFiles::SetUp();
    FileNvmLoad();
    nv_readSettings();
    settingsCommandsInitOnce();
    registerEdiskArea();
  }
  std::string run(const std::string& l) { return runLine(port_, l); }
  CapturePort port_{IOP_TCP_A};
};

TEST_F(UsbKeys, PrintOnly) {
  const struct {
    const char* name;
    int state;
    int percent;
    std::int64_t bytes;
    const char* line;
    std::string reply;
  } rows[] = {
      {"the node at start", 0, 0, 0, "print,/par/edisk", re("{state=0,err=0,pct=0,kbytes=0}")},
      {"an error", -5, 67, 3221225472LL, "print,/par/edisk", re("{state=-5,err=5,pct=67,kbytes=3145728}")},
      {"copying", 2, 45, 1234567, "print,/par/edisk/state", re("2")},
      {"error key", -3, 0, 0, "print,/par/edisk/err", re("3")},
      {"no error when finished", 3, 100, 0, "print,/par/edisk/err", re("0")},
      {"percentage", 2, 45, 1234567, "print,/par/edisk/pct", re("45")},
      {"kilobytes past 2^31", 3, 100, 100000000000000LL, "print,/par/edisk/kbytes", re("97656250000")},
      {"no such key", 0, 0, 0, "print,/par/edisk/size", er("%%{3,,wrong 1st parameter}")},
      {"a set is refused", 2, 0, 0, "set,/par/edisk/state,0", er("%%{12,,read only}")},
      {"a set of no key", 2, 0, 0, "set,/par/edisk/size,0", er("%%{3,,wrong 1st parameter}")},
  };
  for (const auto& r : rows) {
    usbStorage.EcardStatus = r.state;
    usbStorage.percent = r.percent;
    usbStorage.bytes = r.bytes;
    EXPECT_EQ(run(r.line), r.reply) << r.name;
    EXPECT_EQ(ediskGetStat(), r.state) << r.name;
  }
  // The copy state is no setting: the print of every setting leaves it out.
  EXPECT_EQ(run("print,/par/").find("edisk"), std::string::npos);
}

}  // namespace
