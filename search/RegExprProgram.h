#pragma once
// The compiled form of a regular expression: a byte program of linked nodes,
// shared by the compiler that writes it and the matcher that runs it.
//
// Byte 0 holds RegExprMagic. Each node is an opcode byte, a 16-bit link to
// the next node stored high byte first (a distance forward, or backward for
// reBack; 0 = no next node) and an operand. Offset 0 is never a node, so 0
// also serves as "no node" for the accessors below.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

enum RegExprOpcode : uint8_t {
  reEnd = 0,        // the whole match succeeded
  reBol = 1,        // start of the subject
  reEol = 2,        // end of the subject
  reAny = 3,        // any byte
  reAnyOf = 4,      // any byte of the zero-terminated operand
  reAnyBut = 5,     // any byte not in the zero-terminated operand
  reBranch = 6,     // one alternative; the operand is its node chain
  reBack = 7,       // loop link: the next node lies behind
  reExactly = 8,    // the zero-terminated operand literally
  reNothing = 9,    // matches the empty string
  reStar = 10,      // operand: one single-byte node, zero or more times
  rePlus = 11,      // operand: one single-byte node, one or more times
  reDigit = 12,     // "0" to "9"
  reNotDigit = 13,  // any other byte
  reWord = 14,      // ASCII letter or "_"
  reNotWord = 15,   // any other byte
  reOpen = 20,      // reOpen + n (n = 1..9) starts group n
  reClose = 30,     // reClose + n ends group n
};

inline constexpr uint8_t RegExprMagic = 0x9C;
inline constexpr int RegExprNodeSize = 3;  // opcode and link; the operand follows
// A program must stay below this size so that every link fits in 16 bits.
inline constexpr size_t RegExprProgramLimit = 65536;
inline constexpr int RegExprGroupCount = 10;  // group 0 is the whole match

// A failure of the compiler or matcher; TRegExpr hands its message to Error.
struct RegExprFailure {
  std::string message;
};

// The node that the link of node leads to, or 0 when it has none.
inline int regExprNextNode(const uint8_t* code, int node) {
  int link = (code[node + 1] << 8) | code[node + 2];
  if (link == 0) return 0;
  return code[node] == reBack ? node - link : node + link;
}

using RegExprByteSet = std::array<bool, 256>;

struct RegExprProgram {
  std::vector<uint8_t> code;
  // For every reAnyOf / reAnyBut node (by offset) the index of its operand
  // as a lookup table in sets, so a membership test costs one load.
  std::vector<uint16_t> setOfNode;
  std::vector<RegExprByteSet> sets;

  // Execution shortcuts, all derived from the top-level chain when the
  // program has exactly one top-level alternative.
  bool anchored = false;          // the alternative begins with "^"
  std::string firstLiteral;       // the alternative begins with this literal
  std::string requiredLiteral;    // the longest literal every match contains
  // With several top-level alternatives that all begin with a literal: those
  // literals, one of which every match begins with.
  std::vector<std::string> startLiterals;
  int groupCount = 0;             // the highest group number used
  // Bytes a match can begin with; startSetComplete is false when a match may
  // begin without consuming a byte, and then every position is a candidate.
  RegExprByteSet startSet{};
  bool startSetComplete = false;

  bool Empty() const { return code.empty(); }
  uint8_t Op(int node) const { return code[node]; }
  int Operand(int node) const { return node + RegExprNodeSize; }
  const uint8_t* OperandBytes(int node) const { return code.data() + node + RegExprNodeSize; }
  int Next(int node) const { return regExprNextNode(code.data(), node); }
  bool SetHas(int node, uint8_t byte) const { return sets[setOfNode[node]][byte]; }
};
