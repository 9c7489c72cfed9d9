// The parameter tree as prints see it: an area lists the areas below it (a level that only holds
// areas as well), an area printed only when named keeps its subtree out of every listing, and the
// print of the whole tree, too long for one message, arrives as consecutive replies whose texts
// joined are the whole tree, each key once.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "capture_port.h"
#include "command/param_engine.h"
#include "command/values.h"

namespace {

int leafPrint(const char* name, const char* p, Reply& re) {
  return strcmpA(p, name) ? reString(re, "1") : CMD_WRONG_1ST;
}
int nestPrint(const char* p, Reply& re) { return leafPrint("own", p, re); }
int nestAPrint(const char* p, Reply& re) { return leafPrint("ka", p, re); }
int nestBCPrint(const char* p, Reply& re) { return leafPrint("kc", p, re); }
int nestHidPrint(const char* p, Reply& re) { return leafPrint("kh", p, re); }
int nestHidUnderPrint(const char* p, Reply& re) { return leafPrint("ku", p, re); }
int lvlXPrint(const char* p, Reply& re) { return leafPrint("kx", p, re); }

// Many keys, each with a long value: the whole tree needs several messages.
constexpr int kBulkKeys = 60;
int bulkPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  for (int i = 0; i < kBulkKeys; ++i) {
    const std::string name = "key" + std::to_string(i);
    if (strcmpA(p, name.c_str())) rc = reString(re, std::string(150, static_cast<char>('a' + i % 26)).c_str());
  }
  return rc;
}

class ParamTree : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    parRegisterArea("nest", nullptr, nestPrint);
    parRegisterArea("nest/a", nullptr, nestAPrint);
    parRegisterArea("nest/b/c", nullptr, nestBCPrint);
    parRegisterArea("nest/hid", nullptr, nestHidPrint, false);
    parRegisterArea("nest/hid/under", nullptr, nestHidUnderPrint);
    parRegisterArea("lvl/x", nullptr, lvlXPrint);
    parRegisterArea("bulk", nullptr, bulkPrint);
  }
  CapturePort serA{IOP_SER_A};
};

TEST_F(ParamTree, AreasListTheAreasBelowThem) {
  const struct {
    const char* path;
    std::string reply;
  } rows[] = {
      {"nest", re("{own=1,a={ka=1},b={c={kc=1}}}")},
      {"nest/a", re("{ka=1}")},
      {"nest/a/ka", re("1")},
      {"nest/b", re("{c={kc=1}}")},
      {"nest/b/c", re("{kc=1}")},
      {"nest/own", re("1")},
      // Printed when named; what lies below it stays out of the listings above.
      {"nest/hid", re("{kh=1,under={ku=1}}")},
      {"nest/hid/under", re("{ku=1}")},
      {"lvl", re("{x={kx=1}}")},
      {"lvl/x/kx", re("1")},
      {"nest/none", er("%%{3,,wrong 1st parameter}")},
      {"lvlx", er("%%{3,,wrong 1st parameter}")},
  };
  for (const auto& r : rows) EXPECT_EQ(runLine(serA, std::string("print,/par/") + r.path), r.reply) << r.path;
}

// The replies to print,/par/: RE messages with the command's id, each within one message; their
// texts joined form one brace-balanced tree that holds every key once.
TEST_F(ParamTree, TheWholeTreeComesAsConsecutiveRepliesThatJoinIntoIt) {
  for (const std::string id : {"", "%t%"}) {
    SCOPED_TRACE(id);
    const std::string out = runLine(serA, id + "print,/par/");
    std::vector<std::string> bodies;
    for (std::size_t at = 0; at < out.size();) {
      ASSERT_EQ(out.compare(at, 2, "RE"), 0) << out.substr(at, 40);
      const std::size_t len = std::stoul(out.substr(at + 2, 3), nullptr, 16);
      ASSERT_LE(len, static_cast<std::size_t>(kReplyMaxBody));
      ASSERT_EQ(out.compare(at + 5 + len, 2, "\r\n"), 0);
      const std::string body = out.substr(at + 5, len);
      ASSERT_EQ(body.compare(0, id.size(), id), 0) << "each reply carries the id";
      bodies.push_back(body.substr(id.size()));
      at += 7 + len;
    }
    ASSERT_GE(bodies.size(), 3u);
    std::string tree;
    for (std::size_t i = 0; i < bodies.size(); ++i) {
      // Cut after a comma, never inside a key or value.
      if (i + 1 < bodies.size()) {
        EXPECT_EQ(bodies[i].back(), ',') << i;
      }
      tree += bodies[i];
    }
    int depth = 0, minDepth = 1;
    for (std::size_t i = 0; i < tree.size(); ++i) {
      depth += tree[i] == '{' ? 1 : tree[i] == '}' ? -1 : 0;
      if (i + 1 < tree.size()) minDepth = std::min(minDepth, depth);
    }
    EXPECT_EQ(depth, 0);
    EXPECT_EQ(minDepth, 1) << "one tree";
    for (const char* part : {"nest={own=1,a={ka=1},b={c={kc=1}}}", "lvl={x={kx=1}}"}) {
      const std::size_t at = tree.find(part);
      EXPECT_NE(at, std::string::npos) << part;
      EXPECT_EQ(tree.find(part, at + 1), std::string::npos) << part << " once";
    }
    for (int i = 0; i < kBulkKeys; ++i) {
      const std::string key = ",key" + std::to_string(i) + "=";
      const std::string first = "{key" + std::to_string(i) + "=";
      const std::size_t n = (tree.find(key) != std::string::npos) + (tree.find(first) != std::string::npos);
      EXPECT_EQ(n, 1u) << key;
    }
    EXPECT_EQ(tree.find("kh="), std::string::npos);
    EXPECT_EQ(tree.find("ku="), std::string::npos);
  }
}

TEST(ReplySplit, PiecesEndAfterACommaAndJoinIntoTheText) {
  const std::string longValue(kReplyMaxBody + 100, 'v');
  const struct {
    const char* name;
    std::string text;
    int pieces;  // 0: does not fit the pieces offered
    bool commaCuts;
  } rows[] = {
      {"empty", "", 1, true},
      {"one message", std::string(kReplyMaxBody - 4, 'x'), 1, true},
      {"two at a comma", std::string(3000, 'a') + "," + std::string(3000, 'b'), 2, true},
      {"a value longer than a message is cut where it must be", "{" + longValue + "}", 2, false},
      {"too many pieces", std::string(4 * kReplyMaxBody, 'z'), 0, false},
  };
  static char store[8 * kReplyMaxBody + 1];
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    Reply re(store, 8 * kReplyMaxBody);
    re.begin("id", 2);
    re.put(r.text.c_str(), static_cast<int>(r.text.size()));
    ASSERT_FALSE(re.overflow());
    int starts[3], lens[3];
    const int n = replySplit(re, starts, lens, 3);
    ASSERT_EQ(n, r.pieces);
    std::string joined;
    for (int i = 0; i < n; ++i) {
      EXPECT_LE(lens[i] + re.idLen(), kReplyMaxBody);
      if (r.commaCuts && i + 1 < n) {
        EXPECT_EQ(re.text()[starts[i] + lens[i] - 1], ',');
      }
      joined.append(re.text() + starts[i], static_cast<std::size_t>(lens[i]));
    }
    if (n > 0) {
      EXPECT_EQ(joined, r.text);
    }
  }
}

}  // namespace
