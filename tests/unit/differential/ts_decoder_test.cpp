// The L-band service's settings and beams: the stored block's layout and first-start contents,
// the /par/terrastar/ keys (each value taken or refused with its code), the beams the board
// reports and the beam the position engine asks for by frequency.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/zr_list.h"
#include "differential/lband/ts_commands.h"
#include "differential/lband/ts_decoder.h"
#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/ram_nvm.h"
#include "unit/platform/temp_run_dir.h"
#include "unit/param_calls.h"

namespace {

class TsDecoder : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    static const bool registered = registerTerrastarArea();
    ASSERT_TRUE(registered);
    fresh(false);
  }
  void fresh(bool load) {
    NvBlock::resetLayout();
    RamNvm::blank();
    if (load) {
      ASSERT_TRUE(FileNvmLoad());
    }
    TSDecoder = TerrastarDataDecoder();  // the board's beams and states of a test before go
    ASSERT_TRUE(TSDecoder.allocateNvRam());
    TSDecoder.readNvRam();
    TSDecoder.init();
  }
  void restart() {
    ASSERT_TRUE(FileNvmSave(0, true));
    fresh(true);
  }
  static int set(const std::string& key, const std::string& value) { return partest::set("terrastar/" + key, value); }
  static std::string print(const std::string& key) { return partest::print(partest::under("terrastar", key)); }
  static const std::uint8_t* block() { return reinterpret_cast<const std::uint8_t*>(&TSDecoder.parameters()); }
  static std::int32_t word(int off) {
    std::int32_t v;
    std::memcpy(&v, block() + off, 4);
    return v;
  }
  static TSBoardState state() {
    TSBoardState st{};
    for (float& e : st.elevation) e = -100.0f;
    st.usedBeam = -1;
    return st;
  }
};

// Byte offsets of the stored block as the receiver lays it out, with the first-start values.
TEST_F(TsDecoder, FirstStartFillsTheBlock) {
  EXPECT_STREQ(reinterpret_cast<const char*>(block() + 0), "all");
  EXPECT_STREQ(reinterpret_cast<const char*>(block() + 200), "all");
  EXPECT_EQ(block()[400] | (block()[401] << 8), 30);
  EXPECT_EQ(block()[402], 3);
  EXPECT_EQ(block()[403], 0);
  for (int off = 404; off <= 411; ++off) EXPECT_EQ(block()[off], 0) << off;
  const struct {
    int off;
    std::int32_t v;
  } words[] = {{416, 2000}, {420, 1}, {424, 1}, {436, 0}, {440, 0}, {444, 0}, {472, 65535}, {476, 0},
               {480, 0},    {484, 0}, {504, 0}, {508, 0}};
  for (const auto& w : words) EXPECT_EQ(word(w.off), w.v) << w.off;
  EXPECT_STREQ(reinterpret_cast<const char*>(block() + 456), "none");
  // and it is what a restart reads back
  restart();
  EXPECT_EQ(print("station/select/1"), "all");
  EXPECT_EQ(print("beam/scan/num"), "3");
  EXPECT_EQ(print("beam/scan/timeout"), "30");
  EXPECT_EQ(print("debug/date/value"), "01.01.2000");
  EXPECT_EQ(print("beam/userbeam"), "none");
}

// A stored block whose text runs to the end of its field (an image damaged under a right
// checksum) is not the service's: the start takes the factory values; a text that fills its
// field up to its terminator is kept.
TEST_F(TsDecoder, StoredTextWithoutItsEndGivesFactoryValues) {
  const struct {
    int off, len;
    const char* key;
    const char* kept;  // the print of a full but ended text
  } fields[] = {{0, 200, "station/select/1", nullptr},  {200, 200, "station/select/2", nullptr},
                {456, 10, "beam/userbeam", "xxxxxxxxx"}, {488, 8, "beam/userdef/data", "{0,0,xxxxxxx,,0.0,0}"},
                {496, 8, "beam/userdef/data", "{0,0,,xxxxxxx,0.0,0}"}};
  for (const auto& f : fields) {
    for (const bool ended : {false, true}) {
      SCOPED_TRACE(std::string(f.key) + (ended ? " ended" : " running on"));
      fresh(false);
      ASSERT_EQ(set("beam/scan/num", "5"), CMD_OK);
      ASSERT_TRUE(FileNvmSave(0, true));
      // The service's block is the first of the layout: header, 512 bytes, XOR checksum.
      std::FILE* img = std::fopen(kNvmFile, "r+b");
      ASSERT_NE(img, nullptr);
      std::string b(512, '\0');
      ASSERT_EQ(std::fseek(img, RamNvm::kHeaderSize + NvBlock::kHeaderSize, SEEK_SET), 0);
      ASSERT_EQ(std::fread(b.data(), 1, b.size(), img), b.size());
      b.replace(static_cast<std::size_t>(f.off), static_cast<std::size_t>(f.len), std::string(static_cast<std::size_t>(f.len), 'x'));
      if (ended) b[static_cast<std::size_t>(f.off + f.len - 1)] = '\0';
      char x = 0;
      for (char c : b) x = static_cast<char>(x ^ c);
      b += x;
      ASSERT_EQ(std::fseek(img, RamNvm::kHeaderSize + NvBlock::kHeaderSize, SEEK_SET), 0);
      ASSERT_EQ(std::fwrite(b.data(), 1, b.size(), img), b.size());
      std::fclose(img);
      fresh(true);
      if (ended) {
        EXPECT_EQ(print("beam/scan/num"), "5");
        EXPECT_EQ(print(f.key), f.kept != nullptr ? std::string(f.kept) : std::string(199, 'x'));
      } else {
        EXPECT_EQ(print("beam/scan/num"), "3");
        EXPECT_EQ(print("station/select/1"), "all");
        EXPECT_EQ(print("station/select/2"), "all");
        EXPECT_EQ(print("beam/userbeam"), "none");
        EXPECT_EQ(print("beam/userdef/data"), "{0,0,,,0.0,0}");
      }
    }
  }
}

TEST_F(TsDecoder, KeysTakenAndRefused) {
  const std::string s199(199, 's'), s200(200, 's');
  const struct {
    const char* key;
    std::string value;
    int rc;
    const char* printKey;  // null: nothing printed
    std::string printed;
  } rows[] = {
      {"beam/scan/num", "5", CMD_OK, "beam/scan/num", "5"},
      {"beam/scan/num", "6", CMD_OUT_OF_RANGE, "beam/scan/num", "5"},
      {"beam/scan/num", "0", CMD_OUT_OF_RANGE, "beam/scan/num", "5"},
      {"beam/scan/timeout", "600", CMD_OK, "beam/scan/timeout", "600"},
      {"beam/scan/timeout", "601", CMD_OUT_OF_RANGE, "beam/scan/timeout", "600"},
      {"beam/scan/timeout", "1", CMD_OK, "beam/scan/timeout", "1"},
      {"beam/scan/mode", "on", CMD_OK, "beam/scan/mode", "on"},
      {"beam/scan/mode", "maybe", CMD_WRONG_2ND, "beam/scan/mode", "on"},
      {"beam/scan/reset", "on", CMD_OK, nullptr, ""},
      {"beam/userdef/mode", "on", CMD_OK, "beam/userdef/mode", "on"},
      {"beam/userdef/data", "{1545855000,2400,MINE,U,-15.5,1}", CMD_OK, "beam/userdef/data",
       "{1545855000,2400,MINE,U,-15.5,1}"},
      {"beam/userdef/data", "{1525000000,300,A,B,180,0}", CMD_OK, "beam/userdef/data", "{1525000000,300,A,B,180.0,0}"},
      {"beam/userdef/data", "{1559000000,4800,1234567,7654321,-180,1}", CMD_OK, "beam/userdef/data",
       "{1559000000,4800,1234567,7654321,-180.0,1}"},
      {"beam/userdef/data", "{1524999999,300,A,B,0,0}", CMD_OUT_OF_RANGE, "beam/userdef/data",
       "{1559000000,4800,1234567,7654321,-180.0,1}"},
      {"beam/userdef/data", "{1559000001,300,A,B,0,0}", CMD_OUT_OF_RANGE, nullptr, ""},
      {"beam/userdef/data", "{1545855000,300,12345678,B,0,0}", CMD_OUT_OF_RANGE, nullptr, ""},
      {"beam/userdef/data", "{1545855000,300,A,12345678,0,0}", CMD_OUT_OF_RANGE, nullptr, ""},
      {"beam/userdef/data", "{1545855000,300,A,B,180.5,0}", CMD_OUT_OF_RANGE, nullptr, ""},
      {"beam/userdef/data", "{1545855000,300,A,B,0,2}", CMD_OUT_OF_RANGE, nullptr, ""},
      {"beam/userdef/data", "{1545855000,300,A,B,0}", CMD_2ND_MISSED, nullptr, ""},
      {"beam/userdef/data", "{1545855000,300,A,B,0,0,0}", CMD_2ND_MISSED, nullptr, ""},
      {"beam/userdef/data", "{1545855000,1000,A,B,0,0}", CMD_2ND_MISSED, nullptr, ""},
      {"beam/userdef/data", "{x,300,A,B,0,0}", CMD_2ND_MISSED, nullptr, ""},
      {"beam/userdef/data", "{1545855000,300,{A},B,0,0}", CMD_2ND_MISSED, nullptr, ""},
      {"beam/userdef/data", "1545855000", CMD_2ND_MISSED, "beam/userdef/data",
       "{1559000000,4800,1234567,7654321,-180.0,1}"},
      {"beam/userbeam", "AORE", CMD_OK, "beam/userbeam", "AORE"},
      {"beam/userbeam", "123456789", CMD_OK, "beam/userbeam", "123456789"},
      {"beam/userbeam", "1234567890", CMD_OUT_OF_RANGE, "beam/userbeam", "123456789"},
      {"beam/userbeam", "{a,b}", CMD_WRONG_2ND, "beam/userbeam", "123456789"},
      {"station/select/1", s199, CMD_OK, "station/select/1", s199},
      {"station/select/1", s200, CMD_OUT_OF_RANGE, "station/select/1", s199},
      {"station/select/2", "ST01", CMD_OK, "station/select/2", "ST01"},
      {"station/select/2", s200, CMD_OUT_OF_RANGE, "station/select/2", "ST01"},
      {"station/select/3", "ST01", CMD_WRONG_1ST, nullptr, ""},
      {"debug/output/buffer", "on", CMD_OK, "debug/output/buffer", "on"},
      {"debug/output/calls", "on", CMD_OK, "debug/output/calls", "on"},
      {"debug/output/wadgeo", "x", CMD_WRONG_2ND, "debug/output/wadgeo", "off"},
      {"debug/output/other", "on", CMD_WRONG_1ST, nullptr, ""},
      {"debug/time/mode", "on", CMD_OK, "debug/time/mode", "on"},
      {"debug/date/mode", "on", CMD_OK, "debug/date/mode", "on"},
      {"debug/time/value", "23h59m59s", CMD_OK, "debug/time/value", "23h59m59s"},
      {"debug/time/value", "24h00m00s", CMD_OUT_OF_RANGE, "debug/time/value", "23h59m59s"},
      {"debug/time/value", "12h60m00s", CMD_OUT_OF_RANGE, nullptr, ""},
      {"debug/time/value", "12h00m60s", CMD_OUT_OF_RANGE, nullptr, ""},
      {"debug/time/value", "12:00:00", CMD_WRONG_2ND, "debug/time/value", "23h59m59s"},
      {"debug/time/value", "12h00m00", CMD_WRONG_2ND, nullptr, ""},
      {"debug/time/value", "12h00m000s", CMD_WRONG_2ND, nullptr, ""},
      {"debug/time/value", "1xh00m00s", CMD_WRONG_2ND, nullptr, ""},
      {"debug/time/value", "", CMD_WRONG_2ND, nullptr, ""},
      {"debug/time/value", "00h00m00s", CMD_OK, "debug/time/value", "00h00m00s"},
      {"debug/date/value", "31.12.2100", CMD_OK, "debug/date/value", "31.12.2100"},
      {"debug/date/value", "32.12.2100", CMD_OUT_OF_RANGE, "debug/date/value", "31.12.2100"},
      {"debug/date/value", "00.12.2100", CMD_OUT_OF_RANGE, nullptr, ""},
      {"debug/date/value", "01.13.2100", CMD_OUT_OF_RANGE, nullptr, ""},
      {"debug/date/value", "01.00.2100", CMD_OUT_OF_RANGE, nullptr, ""},
      {"debug/date/value", "01.01.1999", CMD_OUT_OF_RANGE, nullptr, ""},
      {"debug/date/value", "01.01.2101", CMD_OUT_OF_RANGE, nullptr, ""},
      {"debug/date/value", "01/01/2020", CMD_WRONG_2ND, nullptr, ""},
      {"debug/date/value", "1.1.2020", CMD_WRONG_2ND, nullptr, ""},
      {"debug/date/value", "01.01.2000", CMD_OK, "debug/date/value", "01.01.2000"},
      {"beam/usable", "{1,16}", CMD_OK, "beam/usable", "{1,16}"},
      {"beam/usable", "{0}", CMD_OUT_OF_RANGE, "beam/usable", "{1,16}"},
      {"beam/usable", "{17}", CMD_OUT_OF_RANGE, "beam/usable", "{1,16}"},
      {"beam/usable/5", "on", CMD_OK, "beam/usable", "{1,5,16}"},
      {"beam/usable/1", "off", CMD_OK, "beam/usable/1", "off"},
      {"beam/usable/17", "on", CMD_WRONG_1ST, "beam/usable", "{5,16}"},
      {"beam/list/00", "x", CMD_WRONG_1ST, nullptr, ""},
      {"status/sync", "1", CMD_WRONG_1ST, nullptr, ""},
      {"nokey", "1", CMD_WRONG_1ST, nullptr, ""},
  };
  for (const auto& r : rows) {
    const unsigned before = TSDecoder.changeCounter();
    EXPECT_EQ(set(r.key, r.value), r.rc) << r.key << " " << r.value;
    if (r.rc != CMD_OK) {
      EXPECT_EQ(TSDecoder.changeCounter(), before) << r.key << " " << r.value;
    }
    if (r.printKey) {
      EXPECT_EQ(print(r.printKey), r.printed) << r.key << " " << r.value;
    }
  }
  // what was taken is in the block after a restart
  restart();
  EXPECT_EQ(print("beam/scan/timeout"), "1");
  EXPECT_EQ(print("beam/userdef/data"), "{1559000000,4800,1234567,7654321,-180.0,1}");
  EXPECT_EQ(print("beam/userbeam"), "123456789");
  EXPECT_EQ(print("station/select/1"), s199);
  EXPECT_EQ(print("debug/time/value"), "00h00m00s");
  EXPECT_EQ(print("beam/usable"), "{5,16}");
  EXPECT_EQ(print("debug/output/calls"), "on");
}

TEST_F(TsDecoder, WholeTreeInItsOrder) {
  const std::string want =
      "{station={select={1=all,2=all}},beam={list={00={1545855000,1200,AORE,A,-15.5,1,},"
      "01={1545845000,1200,AORW,B,-54.0,1,},02={1545865000,1200,IOR,C,64.5,1,},"
      "03={1545905000,1200,POR,D,178.0,1,},04={1545825000,1200,25E,E,25.0,1,},"
      "05={1545835000,1200,143.5E,F,143.5,1,},06={1545865000,1200,98W,G,-98.0,1,}},"
      "userdef={mode=off,data={0,0,,,0.0,0}},scan={mode=off,num=3,timeout=30,list={}},userbeam=none,"
      "curbeam=none,usable={}},status={sync=0,quality=0},debug={output={buffer=off,wadenv=off,wadiff=off,"
      "wadgeo=off,calls=off},time={mode=off,value=00h00m00s},date={mode=off,value=01.01.2000}}}";
  EXPECT_EQ(print(""), want);
  EXPECT_EQ(set("beam/scan/mode", "on"), CMD_OK);
  EXPECT_EQ(print("beam/scan/list"), "{00={AORE,-15.5},01={AORW,-54.0}}");
  EXPECT_EQ(print("beam/scan/list/01"), "{AORW,-54.0}");
  EXPECT_EQ(print("beam/scan/list/02"), "ER3");
  EXPECT_EQ(print("beam/list/07"), "ER3");
}

TEST_F(TsDecoder, BoardStateFillsBeamsStatusAndOrder) {
  TSBoardState st = state();
  const TSBeam b0{1545855000, 1200, "AORE", "A", -15.5f, 1, {}};
  const TSBeam b1{1545845000, 2400, "AORW", "B", -54.0f, 1, {}};
  const TSBeam b2{1545865000, 600, "IOR", "C", 64.5f, 0, {}};
  st.beam[0] = b0;
  st.beam[3] = b1;
  st.beam[9] = b2;
  st.elevation[0] = 35.25f;
  st.elevation[3] = 12.0f;
  st.azimuth[3] = 250.0f;
  const std::uint8_t order[] = {3, 20, 0, 9};  // 20 names no slot
  for (std::uint8_t o : order) st.order[st.orderCount++] = o;
  st.usedBeam = 3;
  st.syncStatus = 3;
  st.qualityStatus = 2;
  EXPECT_FALSE(TSDecoder.takeBoardState(st));
  EXPECT_EQ(print("beam/list"),
            "{00={1545855000,1200,AORE,A,-15.5,1,35.2},03={1545845000,2400,AORW,B,-54.0,1,12.0},"
            "09={1545865000,600,IOR,C,64.5,0,}}");
  EXPECT_EQ(print("beam/curbeam"), "AORW");
  EXPECT_EQ(print("status/sync"), "3");
  EXPECT_EQ(print("status/quality"), "2");
  EXPECT_EQ(set("beam/scan/mode", "on"), CMD_OK);
  EXPECT_EQ(TSDecoder.getOrderedBeamNum(), 3);
  const struct {
    int i;
    bool onlyEnabled, found;
    int frequency;
  } rows[] = {{0, true, true, 1545845000}, {1, true, true, 1545855000}, {2, true, false, 0},
              {2, false, true, 1545865000}, {3, false, false, 0},       {-1, false, false, 0},
              {16, false, false, 0}};
  for (const auto& r : rows) {
    TSBeam b{};
    EXPECT_EQ(TSDecoder.getOrderedBeamInfo(r.i, r.onlyEnabled, &b), r.found) << r.i << r.onlyEnabled;
    if (r.found) {
      EXPECT_EQ(b.frequency, r.frequency) << r.i;
    }
  }
  // scanning off: only the beam in use, as position 0
  EXPECT_EQ(set("beam/scan/mode", "off"), CMD_OK);
  TSBeam b{};
  EXPECT_TRUE(TSDecoder.getOrderedBeamInfo(0, true, &b));
  EXPECT_EQ(b.frequency, 1545845000);
  EXPECT_FALSE(TSDecoder.getOrderedBeamInfo(1, false, &b));
  // a count beyond the table and a beam in use outside it
  st.orderCount = 40;
  st.usedBeam = 16;
  EXPECT_FALSE(TSDecoder.takeBoardState(st));
  EXPECT_EQ(print("beam/curbeam"), "none");
  EXPECT_FALSE(TSDecoder.getUsedBeamInfo(&b));
}

TEST_F(TsDecoder, VisibleBeamByFrequency) {
  const struct {
    const char* name;
    float elIor, elW98;
    std::int64_t frequency;
    int number;
    float el, az;
  } rows[] = {
      {"not reported", -100.0f, -100.0f, 1545865000, 0, 0.0f, 0.0f},
      {"98W higher", 10.0f, 20.0f, 1545865000, 7, 20.0f, 98.0f},
      {"IOR higher", 30.0f, 20.0f, 1545865000, 3, 30.0f, 64.0f},
      {"tie: first slot", 20.0f, 20.0f, 1545865000, 3, 20.0f, 64.0f},
      {"at the horizon", 0.0f, -5.0f, 1545865000, 0, 0.0f, 0.0f},
      {"other frequency", 30.0f, 20.0f, 1545855000, 0, 0.0f, 0.0f},
  };
  for (const auto& r : rows) {
    TSBoardState st = state();
    for (int i = 0; i < kDefaultBeamCount; ++i) st.beam[i] = DefaultBeams[i];
    st.elevation[2] = r.elIor;
    st.azimuth[2] = 64.0f;
    st.elevation[6] = r.elW98;
    st.azimuth[6] = 98.0f;
    TSDecoder.takeBoardState(st);
    int n = -1;
    float el = -1, az = -1;
    EXPECT_EQ(TSDecoder.getBeamVisibleData(r.frequency, n, el, az), r.number != 0) << r.name;
    EXPECT_EQ(n, r.number) << r.name;
    EXPECT_EQ(el, r.el) << r.name;
    EXPECT_EQ(az, r.az) << r.name;
  }
}

TEST_F(TsDecoder, RandomBoardStatesAndKeyTexts) {
  std::mt19937 rng(188);
  for (int n = 0; n < 2000; ++n) {
    TSBoardState st{};
    auto* bytes = reinterpret_cast<std::uint8_t*>(&st);
    for (std::size_t i = 0; i < sizeof st; ++i) bytes[i] = static_cast<std::uint8_t>(rng());
    TSDecoder.takeBoardState(st);
    EXPECT_LE(TSDecoder.getOrderedBeamNum(), TerrastarDataDecoder::kSlots);
    EXPECT_LT(TSDecoder.usedBeam(), TerrastarDataDecoder::kSlots);
    EXPECT_GE(TSDecoder.usedBeam(), -1);
    EXPECT_NE(print(""), "");
  }
  const char* keys[] = {"beam/userdef/data", "debug/time/value", "debug/date/value", "beam/usable", "beam/userbeam"};
  const char alphabet[] = "0123456789hms.,{}-abc";
  for (int n = 0; n < 3000; ++n) {
    std::string v;
    const int len = static_cast<int>(rng() % 14);
    for (int i = 0; i < len; ++i) v += alphabet[rng() % (sizeof alphabet - 1)];
    set(keys[rng() % 5], v);
  }
  EXPECT_EQ(print("station/select/1"), "all");
}

// The reserved blocks take their ids' room in the image (header 6 bytes, data, checksum byte),
// once each, so that the blocks laid out after them keep their places.
TEST_F(TsDecoder, ReservedBlocksTakeTheirRoomOnce) {
  const struct {
    const char* name;
    void (*alloc)();
    std::uint32_t size;
  } rows[] = {{"ts_id", ts_id_nv_NvAlloc, 128},
              {"lband_map", lband_map_nv_NvAlloc, 458},
              {"beacon_map", beacon_map_nv_NvAlloc, 458},
              {"ts_decoder", ts_decoder_nv_NvAlloc, 10240}};
  NvBlock::resetLayout();
  RamNvm::blank();
  static NvBlock probes[5];
  ASSERT_TRUE(probes[0].allocate(4, 1));
  for (int i = 0; i < 4; ++i) {
    rows[i].alloc();
    rows[i].alloc();  // a second call takes no more room
    ASSERT_TRUE(probes[i + 1].allocate(4, static_cast<std::uint16_t>(2 + i)));
    EXPECT_EQ(probes[i + 1].imageOffset() - probes[i].imageOffset(), 4 + 6 + rows[i].size + 7) << rows[i].name;
  }
}

}  // namespace
