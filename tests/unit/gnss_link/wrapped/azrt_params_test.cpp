// Routing parameters: which parameter takes which data, the stored area and its keys.
#include "gnss_link/wrapped/azrt_params.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "command/param_engine.h"
#include "command/reply.h"
#include "command/zr_list.h"
#include "gnss_link/wrapped/azrt_decoder.h"
#include "gnss_link/wrapped/azrt_keys.h"
#include "settings/rcv_settings.h"

namespace {

// match: a parameter's id is -1 (any) or must equal the stream id; modes 0 and 1 are off;
// modes 2..13 take wrapped data (type 0), 14 and above foreign data (type 1).
struct MatchRow {
  const char* name;
  int paramId;
  int mode;
  int streamId;
  int type;
  bool match;
};
const MatchRow kMatch[] = {
    {"any id, mode 0 off", -1, 0, 'R', 0, false},
    {"any id, mode 0 off, foreign", -1, 0, 'R', 1, false},
    {"any id, mode 1 off", -1, 1, 'R', 0, false},
    {"any id, mode 1 off, foreign", -1, 1, 'R', 1, false},
    {"any id, mode 13 wrapped", -1, 13, 'R', 0, true},
    {"any id, mode 13 not foreign", -1, 13, 'R', 1, false},
    {"any id, mode 14 foreign", -1, 14, 'R', 1, true},
    {"any id, mode 14 not wrapped", -1, 14, 'R', 0, false},
    {"any id, mode 17 foreign", -1, 17, 0, 1, true},
    {"any id, mode 17 not wrapped", -1, 17, 0, 0, false},
    {"equal id, mode 2", 'R', 2, 'R', 0, true},
    {"equal id, mode 13", 'R', 13, 'R', 0, true},
    {"equal id, mode 14", '$', 14, '$', 1, true},
    {"equal id, mode 17", '$', 17, '$', 1, true},
    {"equal id, mode 1", 'R', 1, 'R', 0, false},
    {"equal id, mode 0", 'R', 0, 'R', 1, false},
    {"other id, mode 13", 'R', 13, 'S', 0, false},
    {"other id, mode 14", 'R', 14, 'S', 1, false},
    {"other id, mode 17", 0, 17, 255, 1, false},
    {"id 255 equal", 255, 6, 255, 0, true},
    {"id 0 is no wildcard", 0, 6, 1, 0, false},
};

TEST(AzrtParams, MatchTable) {
  for (const MatchRow& r : kMatch) {
    const AzrtParams p{static_cast<std::int16_t>(r.paramId), static_cast<std::uint8_t>(r.mode), AzrtParams::kSelf};
    EXPECT_EQ(p.match(r.streamId, r.type), r.match) << r.name;
  }
}

// find: the first matching parameter of the three, in order.
struct FindRow {
  const char* name;
  AzrtParams set[3];
  int streamId;
  int type;
  int found;  // index, -1 none
};
const FindRow kFind[] = {
    {"reset values find nothing", {{-1, 1, '+'}, {-1, 1, '+'}, {-1, 1, '+'}}, 'R', 0, -1},
    {"reset values find nothing, foreign", {{-1, 1, '+'}, {-1, 1, '+'}, {-1, 1, '+'}}, '$', 1, -1},
    {"first of two matching", {{-1, 2, '+'}, {'R', 13, 7}, {-1, 1, '+'}}, 'R', 0, 0},
    {"equal id before wildcard", {{'R', 13, 7}, {-1, 2, '+'}, {-1, 1, '+'}}, 'R', 0, 0},
    {"other id skipped to wildcard", {{'R', 13, 7}, {-1, 2, '+'}, {-1, 1, '+'}}, 'S', 0, 1},
    {"wrapped parameter skipped for foreign", {{-1, 13, 7}, {-1, 1, '+'}, {-1, 16, 7}}, '$', 1, 2},
    {"foreign parameter skipped for wrapped", {{-1, 16, 7}, {-1, 1, '+'}, {-1, 3, '+'}}, 'R', 0, 2},
    {"off parameters between", {{'R', 0, 7}, {'R', 1, 7}, {'R', 14, 7}}, 'R', 1, 2},
    {"none of three", {{'A', 13, 7}, {'B', 13, 7}, {'C', 13, 7}}, 'D', 0, -1},
};

TEST(AzrtParamSet, FindTable) {
  for (const FindRow& r : kFind) {
    AzrtParamSet s{};
    for (int i = 0; i < 3; ++i) s.p[i] = r.set[i];
    const AzrtParams* p = s.find(r.streamId, r.type);
    EXPECT_EQ(p == nullptr ? -1 : static_cast<int>(p - s.p), r.found) << r.name;
  }
}

TEST(AzrtParams, StoredLayoutIsIdLittleEndianThenModeThenPort) {
  // The area is part of the stored receiver settings: 264 bytes, 22 ports x 3 x 4 bytes.
  std::memset(RcvSet.azrtArea, 0, sizeof RcvSet.azrtArea);
  ASSERT_TRUE(AzrtNV::set(3, 2, AzrtParams{-2, 13, 7}));
  const std::uint8_t* b = RcvSet.azrtArea + (3 * 3 + 2) * 4;
  EXPECT_EQ(b[0], 0xFE);
  EXPECT_EQ(b[1], 0xFF);
  EXPECT_EQ(b[2], 13);
  EXPECT_EQ(b[3], 7);
  EXPECT_EQ(AzrtNV::get(3, 2), (AzrtParams{-2, 13, 7}));
  EXPECT_EQ(AzrtDecoders::decs_[3].params().p[2], (AzrtParams{-2, 13, 7}));
  // Out of range: nothing written, the reset value read.
  EXPECT_FALSE(AzrtNV::set(22, 0, AzrtParams{5, 5, 5}));
  EXPECT_FALSE(AzrtNV::set(0, 3, AzrtParams{5, 5, 5}));
  EXPECT_FALSE(AzrtNV::set(-1, 0, AzrtParams{5, 5, 5}));
  EXPECT_EQ(AzrtNV::get(22, 0), AzrtParams::resetValue());
}

TEST(AzrtNV, BlankAreaTakesResetValuesAndDecodersFollow) {
  std::memset(RcvSet.azrtArea, 0, sizeof RcvSet.azrtArea);
  AzrtDecoders::decs_[21].setParam(1, AzrtParams{9, 9, 9});
  EXPECT_TRUE(AzrtNV::blank());
  azrtSettingsAfterLoad();
  EXPECT_FALSE(AzrtNV::blank());
  for (int d = 0; d < AzrtNV::kPorts; ++d)
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(AzrtNV::get(d, i), (AzrtParams{-1, 1, '+'})) << d << "/" << i;
      EXPECT_EQ(AzrtDecoders::decs_[d].params().p[i], (AzrtParams{-1, 1, '+'})) << d << "/" << i;
    }
  // A stored area is restored as it stands.
  ASSERT_TRUE(AzrtNV::set(0, 0, AzrtParams{'R', 13, 7}));
  AzrtDecoders::decs_[0].setParam(0, AzrtParams::resetValue());
  azrtSettingsAfterLoad();
  EXPECT_EQ(AzrtDecoders::decs_[0].params().p[0], (AzrtParams{'R', 13, 7}));
}

// ---- keys /par/dev/<port>/wrap/<n>

int set(const char* path, const std::string& value) {
  static ZRList l;
  const std::string line = std::string("set,x,") + value;
  if (int rc = l.parse(line.c_str(), static_cast<int>(line.size()))) return rc;
  return parSet(path, l.at(2));
}
std::string print(const char* path) {
  Reply re;
  re.begin(nullptr, 0);
  if (parPrint(path, re) != 0) return "ER";
  return std::string(re.text(), static_cast<std::size_t>(re.textLen()));
}

struct KeyRow {
  const char* name;
  const char* path;
  const char* value;
  int rc;
  const char* printed;  // of the same path afterwards
};
const KeyRow kKeys[] = {
    {"routing to another port", "dev/ser/a/wrap/0", "{82,13,dev/ser/c}", 0, "{82,13,dev/ser/c}"},
    {"leading slash of the port", "dev/ser/a/wrap/1", "{-1,2,/dev/usb/a}", 0, "{-1,2,dev/usb/a}"},
    {"the port itself", "dev/tcp/e/wrap/2", "{-1,14,+}", 0, "{-1,14,+}"},
    {"id 255, mode 17", "dev/can/b/wrap/0", "{255,17,dev/can/b}", 0, "{255,17,dev/can/b}"},
    {"mode 0", "dev/ser/d/wrap/0", "{0,0,+}", 0, "{0,0,+}"},
    {"id below -1", "dev/ser/b/wrap/0", "{-2,2,+}", 5, "{-1,1,+}"},
    {"id above 255", "dev/ser/b/wrap/0", "{256,2,+}", 5, "{-1,1,+}"},
    {"mode 18", "dev/ser/b/wrap/0", "{1,18,+}", 5, "{-1,1,+}"},
    {"unknown port", "dev/ser/b/wrap/1", "{1,2,dev/ser/z}", 7, "{-1,1,+}"},
    {"two values", "dev/ser/b/wrap/1", "{1,2}", 7, "{-1,1,+}"},
    {"not a list", "dev/ser/b/wrap/1", "5", 7, "{-1,1,+}"},
    {"no such parameter", "dev/ser/b/wrap/3", "{1,2,+}", 3, "ER"},
    {"id not a number", "dev/ser/b/wrap/2", "{x,2,+}", 7, "{-1,1,+}"},
};

TEST(AzrtKeys, SetAndPrintTable) {
  static const bool registered = registerAzrtArea();  // once per process
  ASSERT_TRUE(registered);
  std::memset(RcvSet.azrtArea, 0, sizeof RcvSet.azrtArea);
  azrtSettingsAfterLoad();
  for (const KeyRow& r : kKeys) {
    EXPECT_EQ(set(r.path, r.value), r.rc) << r.name;
    EXPECT_EQ(print(r.path), r.printed) << r.name;
  }
  EXPECT_EQ(AzrtDecoders::decs_[0].params().p[0], (AzrtParams{82, 13, 7}));
  EXPECT_EQ(print("dev/ser/a/wrap"), "{0={82,13,dev/ser/c},1={-1,2,dev/usb/a},2={-1,1,+}}");
  // Every decoder port has its keys, the links to the board among them.
  EXPECT_EQ(print("dev/shm/h/wrap/2"), "{-1,1,+}");
  EXPECT_EQ(print("dev/tcpcl/b/wrap/0"), "{-1,1,+}");
}

}  // namespace
