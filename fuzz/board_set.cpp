// The GNSS-board settings record ".gnss.set" and the link that fills it. An input is the record's
// file, then (after a NUL) what the board answers on the link, then (after another NUL) command
// parts that set keys the board shares:
//  - the file as the start-up check reads it, into a fresh record;
//  - with answers: the link's start-up as the program runs it (connect handshake, the check of
//    the program's record against the issue the board reports, the start-up commands with their
//    handshakes, two start messages enabled on the board's stream), the board answering each
//    handshake and query with the next piece of the answers (split at byte 0x01). The receiver
//    settings were at their factory defaults at this start, so the check never restarts the
//    program: the board is reset and given the record again. Without answers, the program's
//    record simply takes the file;
//  - each part "set,<path>,<value>" as the key's handler forwards it: the check of its form,
//    length and the record's room, then the send that records it ("init" empties the record);
//    then the record printed;
//  - the record changed (a new issue) and saved the way a save of the settings image saves it
//    (written to the temporary file, committed over the record's file). What the save stored must
//    read back as the record it saved.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <unistd.h>

#include "command/reply.h"
#include "command/zr_list.h"
#include "fuzz_support.h"
#include "gnss_link/board_link.h"
#include "gnss_link/board_settings.h"
#include "output/output_manager.h"
#include "platform/file_nvm.h"
#include "platform/ports/in_port.h"
#include "platform/ports/out_port.h"
#include "settings/nv_settings.h"

namespace {

// The board's side of its link: answers become readable one piece per write of the program.
class BoardIn : public InPort {
 public:
  BoardIn() : InPort(kBoardPort) { InPorts::ports_[kBoardPort] = this; }
  int read(void* buf, int max, int) override {
    const std::size_t n = ready_ < static_cast<std::size_t>(max) ? ready_ : static_cast<std::size_t>(max);
    std::memcpy(buf, at_, n);
    at_ += n;
    ready_ -= n;
    return static_cast<int>(n);
  }
  void answers(const std::uint8_t* p, std::size_t n) { next_ = p, left_ = n, at_ = p, ready_ = 0; }
  // The program sent a handshake or a query: the board answers with its next piece.
  void asked() {
    if (left_ == 0) return;
    const void* sep = std::memchr(next_, 0x01, left_);
    const std::size_t n = sep != nullptr ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(sep) - next_) : left_;
    at_ = next_;
    ready_ = n;
    const std::size_t used = sep != nullptr ? n + 1 : n;
    next_ += used;
    left_ -= used;
  }

 private:
  const std::uint8_t* next_ = nullptr;
  std::size_t left_ = 0;
  const std::uint8_t* at_ = nullptr;
  std::size_t ready_ = 0;
};
BoardIn* g_in = nullptr;

class BoardOut : public OutPort {
 public:
  BoardOut() : OutPort(kBoardPort) { OutPorts::ports_[kBoardPort] = this; }

 protected:
  int devWrite(const void* data, int len, int) override {
    const auto* t = static_cast<const char*>(data);
    if (std::memchr(t, '%', static_cast<std::size_t>(len)) != nullptr || (len >= 6 && std::memcmp(t, "print,", 6) == 0))
      g_in->asked();
    return len;
  }
};

// A fresh record of the seeds: one, three and six commands (lists among them) as stored.
struct Line {
  const char* text;
  int tag;
};
constexpr Line kLines[] = {{"set,lock/state,1\n", 0},  {"set,lock/gps/sats,{ff,1}\n", 2}, {"set,calib/soft/fcn/1/-7,0.5\n", 0},
                           {"set,lock/sw/l5,on\n", 0}, {"set,lock/budget,200\n", 0},      {"set,lock/gal/0/lock,0x1f\n", 0}};

std::string storedRecord(int n, unsigned issue) {
  auto rec = std::make_unique<CmdBuf>();
  auto put = [&rec](const char* l, int tag) {
    const int len = static_cast<int>(std::strlen(l));
    const int pathLen = static_cast<int>(std::strchr(l + 4, ',') - (l + 4));
    if (!rec->put(l, len, pathLen, tag)) std::exit(1);
  };
  for (int i = 0; i < n; ++i) put(kLines[i].text, kLines[i].tag);
  std::FILE* f = std::tmpfile();
  if (f == nullptr || !CmdBuf::store(f, &rec->at(0), rec->count(), issue)) std::exit(1);
  std::string s(static_cast<std::size_t>(std::ftell(f)), '\0');
  std::rewind(f);
  if (std::fread(s.data(), 1, s.size(), f) != s.size()) std::exit(1);
  std::fclose(f);
  return s;
}

// The seeds: records as the program stores them; one with the board's answers to the start-up
// (connect, an issue of 9, two paced start messages, the command-mode handshake) and key settings of every form: plain,
// whole and partial lists, ones made obsolete by a later one above them, a repeated one, one too
// long, a list of empty elements, the reset of the board's settings.
fuzz::NamedSeeds boardSetSeeds() {
  fuzz::NamedSeeds seeds;
  for (int n : {1, 3, 6}) seeds.emplace_back("record-" + std::to_string(n), storedRecord(n, 7u + static_cast<unsigned>(n)));
  const std::string answers = std::string(kM2sConnectAck) + '\x01' + "RE001" + "9" + '\x01' + kM2sSyncAck + '\x01' +
                              kM2sSyncAck + '\x01' + kM2sCmdModeAck;
  const std::string sets =
      "set,/par/lock/state,1\nset,/par/lock/gps/sats,{ff,1}\nset,/par/lock/gps/sats,{,,3}\nset,/par/lock/state,0\n"
      "set,/par/calib/soft/fcn/1/-7,0.5\nset,/par/lock,{}\nset,/par/lock/gal/0/lock,{{1,2},{,}}\n"
      "set,/par/dev/pps/a/offset," +
      std::string(300, '7') +
      "\nset,/par/lock/gps/sats,{,}\nset,/par/pos/navdata/source,ext\nset,/par/lock/gps/sw/l2,on\n"
      "set,/par/calib/soft/fcn/1/-7,0.5\nset,/par/lock/gps,1\nset,/par/lock/gps/sats,{1,2,3}\n";
  seeds.emplace_back("startup-and-sets", storedRecord(3, 10) + '\0' + answers + '\0' + sets);
  seeds.emplace_back("sets-then-reset", storedRecord(1, 8) + '\0' + '\0' + sets + "init\nset,/par/lock/sw/l5,on\n");
  return seeds;
}

// The parts "set,<path>,<value>" of `text`, one a line, forwarded as the key handlers forward
// them; "init" resets the board's settings.
void setKeys(const char* text, std::size_t size) {
  static ZRList parts;
  for (std::size_t i = 0; i < size;) {
    const char* nl = static_cast<const char*>(std::memchr(text + i, '\n', size - i));
    const std::size_t len = nl != nullptr ? static_cast<std::size_t>(nl - (text + i)) : size - i;
    const char* line = text + i;
    i += len + 1;
    if (len == 4 && std::memcmp(line, "init", 4) == 0) {
      m2sDefaults();
      continue;
    }
    if (parts.parse(line, static_cast<int>(len)) != 0 || parts.size() < 3 || std::strcmp(parts.textAt(0), "set") != 0)
      continue;
    const char* path = parts.textAt(1);
    if (cmdToSlaveCheck(path, parts.at(2)) == 0) cmdToSlaveSend(path, parts.at(2));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::writeSeedsIfAsked(boardSetSeeds);
  fuzz::enterRunDir("board_set");
  fuzz::noteDeliberateExits();
  FileNvmLoad();
  // No stored image: the receiver settings are read as their factory defaults.
  nv_readSettings();
  std::remove(CmdBuf::kFile);
  g_in = new BoardIn;
  static BoardOut out;
  cmdBuf.nvRead(0);
  // The board's stream enables two messages, which the start-up sends paced by the board.
  omInitOnce();
  if (omEnableMsgs(omPortToStream(kBoardPort), "zrt/{RT,ET}:1") != OmListResult::kOk) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  const auto* nul = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
  const std::size_t fileLen = nul != nullptr ? static_cast<std::size_t>(nul - data) : size;
  const std::uint8_t* answers = nul != nullptr ? nul + 1 : data + size;
  const std::size_t restLen = size - (answers - data);
  const auto* nul2 = static_cast<const std::uint8_t*>(std::memchr(answers, 0, restLen));
  const std::size_t answersLen = nul2 != nullptr ? static_cast<std::size_t>(nul2 - answers) : restLen;
  const std::uint8_t* keys = nul2 != nullptr ? nul2 + 1 : answers + answersLen;
  const std::size_t keysLen = size - (keys - data);

  std::FILE* f = std::fopen(CmdBuf::kFile, "wb");
  if (f == nullptr) std::abort();
  if (fileLen > 0 && std::fwrite(data, 1, fileLen, f) != fileLen) std::abort();
  std::fclose(f);
  // The record is read once per start into a fresh one.
  auto fresh = std::make_unique<CmdBuf>();
  fresh->load(CmdBuf::kFile);
  g_in->answers(answers, answersLen);
  if (answersLen > 0) {
    m2sPortInit();
    m2sNvRead();
    m2sSendAllCmds();
  } else {
    cmdBuf.load(CmdBuf::kFile);
  }
  setKeys(reinterpret_cast<const char*>(keys), keysLen);
  Reply re;
  m2sPrintCmds("", re);
  // The record changes (a new issue) and is saved.
  cmdBuf.updateBegin();
  cmdBuf.updateEnd();
  if (!cmdBufSnapshot()) return 0;
  // A record the file already holds is not written again.
  const bool wrote = ::access(CmdBuf::kTmpFile, F_OK) == 0;
  cmdBufCommit();
  if (!wrote || ::access(CmdBuf::kTmpFile, F_OK) == 0) return 0;
  auto back = std::make_unique<CmdBuf>();
  if (!back->load(CmdBuf::kFile) || back->count() != cmdBuf.count() || back->issue() != cmdBuf.issue()) std::abort();
  for (int i = 0; i < cmdBuf.count(); ++i)
    if (std::strcmp(back->at(i).text, cmdBuf.at(i).text) != 0 || back->at(i).tag != cmdBuf.at(i).tag) std::abort();
  return 0;
}
