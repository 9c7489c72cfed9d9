// Commands typed on the ports of the running program: any bytes, several ports at once, a reader
// that never reads, and the keys that end the program.
#include <sys/stat.h>

#include <cstdio>
#include <random>

#include "e2e/harness.h"

namespace e2e {
namespace {

using CommandRoad = Rx;

// 10,000 random lines and twenty 5,000-byte lines (each answered ER 34) leave the port answering
// with whole messages only; an over-long line is never cut into a command of its own, whatever
// length a cut would have.
TEST_F(CommandRoad, RandomBytesAndOverLongLinesHarmNothing) {
  ASSERT_NO_FATAL_FAILURE(start());
  Port port(dir_.file("dev/ser/c"));
  ASSERT_TRUE(port.ok());
  std::mt19937 rng(20261206);
  std::atomic<bool> done{false}, sawMarker{false};
  std::atomic<int> messages{0}, tooLong{0};
  std::string bad;
  std::thread drain([&] {  // answers are read while the lines go in
    while (!done) {
      const std::string m = port.next(200);
      if (m.rfind("BAD:", 0) == 0) bad = m;
      tooLong += m == frame("ER", "%%{34,,command too long}");
      sawMarker = sawMarker || m == re("%ok%");
      messages += !m.empty();
    }
  });
  std::string chunk;
  for (int i = 0; i < 10000; ++i) {
    for (std::size_t k = 0, len = rng() % 120; k < len; ++k) {
      const char c = static_cast<char>(rng());
      chunk += c == '\r' || c == '\n' ? ' ' : c;
    }
    chunk += '\n';
    if (chunk.size() > 8192 || i == 9999) {
      ASSERT_TRUE(port.sendRaw(chunk));
      chunk.clear();
    }
  }
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(port.sendRaw("%L%set," + std::string(5000, 'x') + "\r\n"));
  ASSERT_TRUE(port.sendRaw("%ok%\r\n"));
  const bool marker = waitOnProgress([&] { return sawMarker.load(); }, [&] { return messages.load(); });
  done = true;
  drain.join();
  ASSERT_TRUE(marker) << messages << " messages";
  EXPECT_EQ(bad, "");
  EXPECT_EQ(tooLong, 20);
  EXPECT_EQ(port.ask("%x%print,/par/rcv/ver;" + std::string(5000, ' ') + ";%tail%"), frame("ER", "%%{34,,command too long}"));
  EXPECT_EQ(port.ask("%next%"), re("%next%"));
}

TEST_F(CommandRoad, FourPortsAtOnceGetTheirOwnRepliesWholeAndInOrder) {
  ASSERT_NO_FATAL_FAILURE(start());
  const char* const links[] = {"dev/ser/a", "dev/ser/b", "dev/ser/d", "dev/usb/a"};
  std::string failures[4];
  std::vector<std::thread> users;
  for (int p = 0; p < 4; ++p) {
    users.emplace_back([&, p] {
      Port port(dir_.file(links[p]));
      std::string burst;
      for (int i = 0; i < 50; ++i)
        burst += "%p" + std::to_string(p) + "n" + std::to_string(i) + "%print,/par/rcv" + (i % 2 ? "/ver" : "") + "\r\n";
      if (!port.sendRaw(burst)) failures[p] = "cannot write";
      for (int i = 0; i < 50 && failures[p].empty(); ++i) {
        const std::string m = port.next(), id = "%p" + std::to_string(p) + "n" + std::to_string(i) + "%";
        const bool good = i % 2 ? m == re(id + "0.1.0") : m.rfind("RE", 0) == 0 && m.compare(5, id.size() + 11, id + "{ver=0.1.0,") == 0;
        if (!good) failures[p] = "reply " + std::to_string(i) + ": " + m;
      }
    });
  }
  for (auto& t : users) t.join();
  for (int p = 0; p < 4; ++p) EXPECT_EQ(failures[p], "") << links[p];
}

// Far more answers than the terminal and the port's ring hold, never read: the other ports are
// served, and once the reader comes back and drains what is left it is answered again.
TEST_F(CommandRoad, AReaderThatNeverReadsHoldsUpNobody) {
  ASSERT_NO_FATAL_FAILURE(start());
  Port other(dir_.file("dev/ser/b"));
  std::string burst;
  for (int i = 0; i < 600; ++i) burst += "print,/par/\r\n";
  ASSERT_TRUE(port_->sendRaw(burst + "%last%\r\n"));
  EXPECT_EQ(other.ask("%b%"), re("%b%"));
  // Back, it reads for as long as answers come, until none comes for a while, and asks again: its
  // answer comes, behind any old one still on its way.
  std::size_t drained = 0;
  ASSERT_TRUE(waitOnProgress(
      [&] {
        port_->held.clear();
        port_->fill([](const std::string&) { return false; }, 300);
        drained += port_->held.size();
        return port_->held.empty();
      },
      [&] { return drained; }));
  ASSERT_TRUE(port_->send("%again%"));
  const std::string again = re("%again%");
  const auto answered = [&](const std::string& h) { return h.find(again) != std::string::npos; };
  EXPECT_TRUE(waitOnProgress(
      [&] {
        port_->fill(answered, 100);
        return answered(port_->held);
      },
      [&] { return port_->held.size(); }))
      << drained << " bytes drained, then " << port_->held.size();
  EXPECT_TRUE(rx_->running());
}

// A line may end in "@" and two hex digits: the rotate-by-2 XOR sum of every byte before them.
// A right sum runs the line (either case of digits), a wrong one changes nothing and is answered
// "wrong checksum"; each part of a joined line carries its own.
TEST_F(CommandRoad, ChecksummedLinesRunOnlyWhenTheirSumIsRight) {
  ASSERT_NO_FATAL_FAILURE(start());
  const auto sum = [](const std::string& s, unsigned error, bool lower) {
    unsigned c = 0;
    for (unsigned char b : s) c = (((c ^ b) << 2) | ((c ^ b) >> 6)) & 0xFF;
    char buf[8];
    std::snprintf(buf, sizeof buf, lower ? "@%02x" : "@%02X", (c + error) & 0xFF);
    return s + buf;
  };
  const struct {
    std::string line;
    std::string reply;
    const char* num;  // pos/filt/num afterwards
  } rows[] = {
      {sum("%1%set,/par/pos/filt/num,12", 0, false), re("%1%"), "12"},
      {sum("%2%set,/par/pos/filt/num,13", 1, false), frame("ER", "%2%{2,,wrong checksum}"), "12"},
      {sum("%3%set,/par/pos/filt/num,14", 0, true), re("%3%"), "14"},
      {sum("%4%set,/par/pos/filt/num,15", 0x80, true), frame("ER", "%4%{2,,wrong checksum}"), "14"},
      {sum("set,/par/pos/filt/num,16", 0, false) + ";" + sum("%5%print,/par/pos/filt/num", 0, false),
       re("%5%16"), "16"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(ask(r.line), r.reply) << r.line;
    EXPECT_EQ(ask("print,/par/pos/filt/num"), re(r.num)) << r.line;
  }
}

// The keys end the program with their code once the answer is taken, leaving the word for the
// host; a FIFO nobody reads in the request file's place does not keep the program from ending.
TEST_F(CommandRoad, KeysEndTheProgramWithTheirCode) {
  const std::string request = "host/var/run/rxengine-request";
  const struct {
    const char* command;
    int code;
    const char* word;  // "": no request file; null: a FIFO is there
  } rows[] = {{"set,/par/rcv/reboot,yes", 127, "reboot"},
              {"%p%set,/par/rcv/power,off", 128, "power_off"},
              {"set,/par/rcv/restart,y", 0, ""},
              {"set,/par/rcv/reboot,yes", 127, nullptr}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.command);
    fresh();
    if (!r.word) {
      ASSERT_TRUE(dir_.write(request, "") && unlink(dir_.file(request).c_str()) == 0 && mkfifo(dir_.file(request).c_str(), 0644) == 0);
    }
    ASSERT_NO_FATAL_FAILURE(start());
    Port b(dir_.file("dev/ser/b"));
    ASSERT_TRUE(b.send(r.command));
    EXPECT_EQ(r.command[0] == '%' ? b.next() : "", r.command[0] == '%' ? re("%p%") : "");  // answered before it goes
    EXPECT_EQ(end(), r.code) << out_;
    EXPECT_EQ(r.word && dir_.exists(request) ? dir_.read(request) : "", r.word ? r.word : "");
    EXPECT_EQ(out_.find("$$SHUTDOWN: cannot write") != std::string::npos, !r.word) << out_;
    EXPECT_EQ(dir_.read(".gnss.nvm").size(), kImageSize);
  }
}

}  // namespace
}  // namespace e2e
