// A CAN port with the real program: a peer on dev/can/a types a command in frames of the input
// range and reads the reply out of frames of the output range; the port's keys set on dev/ser/a
// reach the port and survive a restart.
#include <linux/can/error.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "unit/platform/can_peer.h"
#include "unit/platform/gpio_stand_in.h"

namespace e2e {
namespace {

using CanPorts = Rx;
using canpeer::Peer;

bool refused(const std::string& reply) { return reply.rfind("ER", 0) == 0; }

// A peer once the program listens on the port (it makes the socket anew after a state change).
std::unique_ptr<Peer> connectCan(const std::string& path) {
  std::unique_ptr<Peer> p;
  waitUntil([&] {
    p = std::make_unique<Peer>(path);
    return p->ok();
  });
  return p;
}

// The reply to `line` typed on the peer, with the identifiers of the frames that carried it.
std::string askCan(Peer& peer, const std::string& line, std::uint32_t inFirst, std::vector<std::uint32_t>& ids) {
  ids.clear();
  if (!peer.sendText(line + "\r\n", inFirst, 8)) return "";
  std::string got;
  can_frame f{};
  while (peer.next(f, kGuardMs) == 1) {
    ids.push_back(f.can_id);
    got.append(reinterpret_cast<const char*>(f.data), f.len);
    const std::size_t n = messageLength(got);
    if (n == std::string::npos || (n > 0 && n <= got.size())) break;
  }
  return got;
}

TEST_F(CanPorts, CommandsOverFramesAndStoredKeys) {
  // The transceivers' shutdown lines, high until the program enables the transceivers.
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {150, 151}, "in", "1"));
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  for (int line : {150, 151}) {
    EXPECT_TRUE(waitUntil([&] { return standin::gpioLevel(dir_.path, line) == 0; })) << line;
    EXPECT_EQ(standin::gpioText(dir_.path, line, "direction"), "out") << line;
  }
  std::string threads;
  for (const auto& t : std::filesystem::directory_iterator("/proc/" + std::to_string(rx_->pid()) + "/task"))
    threads += readFile(t.path() / "comm");
  EXPECT_NE(threads.find("CANT\n"), std::string::npos) << threads;
  // Published before the ready line.
  ASSERT_TRUE(dir_.exists("dev/can/a"));
  ASSERT_TRUE(dir_.exists("dev/can/b"));
  EXPECT_EQ(ask("print,/par/dev/can/a"),
            re("{imode=cmd,rate=125,sid={in={cnt=8,first=1792},out={cnt=8,first=1792}}}"));

  auto peer = connectCan(dir_.file("dev/can/a"));
  ASSERT_TRUE(peer && peer->ok());
  std::vector<std::uint32_t> ids;
  EXPECT_EQ(askCan(*peer, "%1%print,/par/dev/can/a/rate", 0x700, ids), re("%1%125"));
  ASSERT_EQ(ids.size(), 2u);  // 13 bytes
  EXPECT_EQ(ids[0], 0x700u);
  EXPECT_EQ(ids[1], 0x701u);

  // The output range moved from the serial port: the peer connects again and replies come in
  // 0x600 on.
  EXPECT_EQ(ask("%s%set,/par/dev/can/a/sid/out/first,1536"), re("%s%"));
  EXPECT_TRUE(peer->drainToClose());
  peer = connectCan(dir_.file("dev/can/a"));
  ASSERT_TRUE(peer && peer->ok());
  EXPECT_EQ(askCan(*peer, "%2%print,/par/dev/can/a/sid/out/first", 0x700, ids), re("%2%1536"));
  ASSERT_FALSE(ids.empty());
  for (std::size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(ids[i], 0x600u + i) << i;

  const struct {
    const char* line;
  } bad[] = {{"set,/par/dev/can/a/rate,100"},        {"set,/par/dev/can/a/rate,0"},
             {"set,/par/dev/can/a/sid/in/cnt,0"},     {"set,/par/dev/can/a/sid/in/cnt,9"},
             {"set,/par/dev/can/a/sid/out/first,2041"}, {"set,/par/dev/can/b/sid/in/first,2048"},
             {"set,/par/dev/can/a/sid/x,1"},           {"set,/par/dev/can/c/rate,125"},
             {"set,/par/dev/can/a/rate,abc"}};
  for (const auto& b : bad) EXPECT_TRUE(refused(ask(b.line))) << b.line;
  EXPECT_EQ(ask("print,/par/dev/can/a/rate"), re("125"));
  // The edge that still fits: 2040 + 8 - 1 = 0x7FF.
  EXPECT_EQ(ask("%b1%set,/par/dev/can/b/sid/in/first,2040"), re("%b1%"));
  EXPECT_EQ(ask("%b2%set,/par/dev/can/b/rate,500"), re("%b2%"));
  EXPECT_EQ(ask("%b3%set,/par/dev/can/b/sid/out/cnt,3"), re("%b3%"));

  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/dev/can/a/sid"), re("{in={cnt=8,first=1792},out={cnt=8,first=1536}}"));
  EXPECT_EQ(ask("print,/par/dev/can/b"),
            re("{imode=cmd,rate=500,sid={in={cnt=8,first=2040},out={cnt=3,first=1792}}}"));
  peer = connectCan(dir_.file("dev/can/a"));
  ASSERT_TRUE(peer && peer->ok());
  EXPECT_EQ(askCan(*peer, "%3%print,/par/dev/can/a/rate", 0x700, ids), re("%3%125"));
  ASSERT_FALSE(ids.empty());
  EXPECT_EQ(ids[0], 0x600u);

  // Back to the defaults with the rest of the settings.
  EXPECT_EQ(ask("%i%init,/par/"), re("%i%"));
  EXPECT_EQ(ask("print,/par/dev/can/b/sid/out/cnt"), re("8"));
  EXPECT_EQ(ask("print,/par/dev/can/a/sid/out/first"), re("1792"));
  stop();
}

// An error frame from the bus (CAN_ERR_FLAG, controller warnings in data[1]): the program says
// which warnings it saw, empties the port's queue and makes the socket anew; the peer connects
// again and is answered as before.
TEST_F(CanPorts, AnErrorFrameMakesTheSocketAnew) {
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {150, 151}, "in", "1"));
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  auto peer = connectCan(dir_.file("dev/can/a"));
  ASSERT_TRUE(peer && peer->ok());
  std::vector<std::uint32_t> ids;
  ASSERT_EQ(askCan(*peer, "%1%print,/par/dev/can/a/rate", 0x700, ids), re("%1%125"));

  can_frame err{};
  err.can_id = CAN_ERR_FLAG | CAN_ERR_CRTL;
  err.len = 8;
  err.data[1] = 0x08 | 0x04;  // CAN_ERR_CRTL_TX_WARNING | CAN_ERR_CRTL_RX_WARNING
  ASSERT_TRUE(peer->send(err));
  EXPECT_TRUE(peer->drainToClose());
  EXPECT_TRUE(rx_->waitOut("$$SockCanPort:doRead(CAN_ERR_CRTL_TX_WARNING)")) << rx_->out();
  EXPECT_TRUE(rx_->waitOut("$$SockCanPort:doRead(CAN_ERR_CRTL_RX_WARNING)")) << rx_->out();

  peer = connectCan(dir_.file("dev/can/a"));
  ASSERT_TRUE(peer && peer->ok());
  EXPECT_EQ(askCan(*peer, "%2%print,/par/dev/can/a/rate", 0x700, ids), re("%2%125"));
  EXPECT_TRUE(rx_->running());
}

// A restart typed on the bus: its answer leaves in frames before the program ends, as on a serial
// port.
TEST_F(CanPorts, ARestartTypedOnTheBusIsAnsweredBeforeTheProgramGoes) {
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {150, 151}, "in", "1"));
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  auto peer = connectCan(dir_.file("dev/can/a"));
  ASSERT_TRUE(peer && peer->ok());
  std::vector<std::uint32_t> ids;
  EXPECT_EQ(askCan(*peer, "%r%set,/par/rcv/restart,y", 0x700, ids), re("%r%"));
  EXPECT_EQ(end(), 0) << out_;
}

}  // namespace
}  // namespace e2e
