// The parsed command: a tree of nodes built over a private copy of one command part
// ("set,/par/x,{1,\"two\",,n=3}"). Nodes come from fixed pools; nothing is allocated.
#pragma once

#include <cstdint>

class ZRListNode;

class ZRNamedNode {
 public:
  enum Kind { LEAF, STR, LIST, EMPTY };
  virtual ~ZRNamedNode() = default;
  virtual Kind kind() const = 0;

  // "name" of a "name=value" item inside braces; "" otherwise.
  const char* name() const { return name_; }
  // Text of a plain or quoted value; "" for lists and empty items.
  virtual const char* text() const { return ""; }
  bool isList() const { return kind() == LIST; }
  bool isEmpty() const { return kind() == EMPTY; }
  // Plain or quoted text.
  bool isText() const { return kind() == LEAF || kind() == STR; }
  // Children of a list (0 for the others) and the i-th of them (null out of range).
  int size() const;
  const ZRNamedNode* at(int i) const;
  // Whole-text conversions of a plain value; false when the text is not wholly a number.
  bool getInt(long long& v) const;
  bool getDouble(double& v) const;

  const ZRNamedNode* next() const { return next_; }

 private:
  friend class ZRList;
  friend class ZRListNode;
  const char* name_ = "";
  ZRNamedNode* next_ = nullptr;
};

class ZRLeafNode : public ZRNamedNode {
 public:
  Kind kind() const override { return LEAF; }
  const char* text() const override { return text_; }

 private:
  friend class ZRList;
  const char* text_ = "";
};

class ZRStrNode : public ZRNamedNode {
 public:
  Kind kind() const override { return STR; }
  const char* text() const override { return text_; }

 private:
  friend class ZRList;
  const char* text_ = "";
};

class ZREmptyNode : public ZRNamedNode {
 public:
  Kind kind() const override { return EMPTY; }
};

class ZRListNode : public ZRNamedNode {
 public:
  Kind kind() const override { return LIST; }

 private:
  friend class ZRList;
  friend class ZRNamedNode;
  void add(ZRNamedNode* n);
  ZRNamedNode* first_ = nullptr;
  ZRNamedNode* last_ = nullptr;
  int count_ = 0;
};

class ZRList {
 public:
  static constexpr int kMaxText = 2048;
  static constexpr int kMaxNodes = 256;
  static constexpr int kMaxDepth = 8;

  // Parses a part "verb,arg,arg..." (without id and checksum). Returns 0 or the command
  // result code of the fault (syntax, too many nodes, too deep, too long).
  int parse(const char* text, int len);

  // The top-level items: 0 the verb, 1 the path, 2 the value...
  int size() const { return root_.size(); }
  const ZRNamedNode* at(int i) const { return root_.at(i); }
  // Text of item i, "" when missing or not text.
  const char* textAt(int i) const;

 private:
  void reset();
  ZRNamedNode* newLeaf(const char* text, bool quoted);
  ZRNamedNode* newEmpty();
  ZRListNode* newList();
  int parseItems(char*& p, ZRListNode* into, int depth);

  char text_[kMaxText + 1];
  ZRListNode root_;
  ZRLeafNode leaves_[kMaxNodes];
  ZRStrNode strs_[kMaxNodes];
  ZREmptyNode empties_[kMaxNodes];
  ZRListNode lists_[kMaxNodes];
  int nLeaves_ = 0, nStrs_ = 0, nEmpties_ = 0, nLists_ = 0, nTotal_ = 0;
};
