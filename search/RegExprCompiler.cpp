#include "search/RegExprCompiler.h"

#include <cstring>

namespace {

// What a parsed element reports to the level above it.
enum ElementFlags {
  HasWidth = 1,  // never matches the empty string
  Simple = 2,    // matches exactly one byte, so a repetition can count bytes
};

// Outside a set these bytes stand for "\d" and "\D"; inside a set the first
// one adds the ten digits.
constexpr uint8_t DigitStandIn = 0xF6;
constexpr uint8_t NotDigitStandIn = 0xD6;

bool isRepeatOp(uint8_t c) { return c == '*' || c == '+' || c == '?'; }

bool endsLiteralRun(uint8_t c) {
  return c == 0 || std::strchr("^$.[()|?+*\\", c) != nullptr || c == DigitStandIn ||
         c == NotDigitStandIn;
}

int hexDigitValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void addDigits(RegExprByteSet& set) {
  for (int b = '0'; b <= '9'; ++b) set[b] = true;
}

void addWordBytes(RegExprByteSet& set) {
  for (int b = 'a'; b <= 'z'; ++b) set[b] = true;
  for (int b = 'A'; b <= 'Z'; ++b) set[b] = true;
  set['_'] = true;
}

void addByteRange(RegExprByteSet& set, int first, int last) {
  for (int b = first; b <= last; ++b) set[b] = true;
}

// The recursive-descent parser runs twice over the pattern: the first pass
// only counts the bytes every node takes, the second emits them into a block
// of exactly that size. Node references are offsets into the program; in the
// counting pass every node is DummyNode and linking does nothing.
class Compiler {
public:
  explicit Compiler(std::string_view pattern) : pattern_(pattern.substr(0, pattern.find('\0'))) {}

  RegExprProgram Run() {
    int flags = 0;
    startPass(true);
    parseAlternatives(false, flags);
    if (size_ >= RegExprProgramLimit) fail("regexp too big");

    startPass(false);
    code_.assign(size_, 0);
    emitByte(RegExprMagic);
    parseAlternatives(false, flags);
    if (emit_ != size_) fail("Internal disaster");

    RegExprProgram program;
    program.code = std::move(code_);
    program.groupCount = groups_ - 1;
    return program;
  }

private:
  static constexpr int DummyNode = -1;

  [[noreturn]] void fail(std::string message) { throw RegExprFailure{std::move(message)}; }

  void startPass(bool sizing) {
    sizing_ = sizing;
    parse_ = reinterpret_cast<const uint8_t*>(pattern_.c_str());
    groups_ = 1;
    size_ = sizing ? 1 : size_;  // the magic byte
    emit_ = 0;
  }

  uint8_t peek() const { return *parse_; }

  // Alternatives separated by "|", for the whole pattern or inside a group.
  int parseAlternatives(bool paren, int& flags) {
    flags = HasWidth;
    int ret = 0;
    int group = 0;
    if (paren) {
      if (groups_ >= RegExprGroupCount) fail("too many ()");
      group = groups_++;
      ret = emitNode(static_cast<uint8_t>(reOpen + group));
    }

    int branchFlags = 0;
    int branch = parseBranch(branchFlags);
    if (ret != 0)
      setTail(ret, branch);
    else
      ret = branch;
    if (!(branchFlags & HasWidth)) flags &= ~HasWidth;
    while (peek() == '|') {
      ++parse_;
      branch = parseBranch(branchFlags);
      setTail(ret, branch);
      if (!(branchFlags & HasWidth)) flags &= ~HasWidth;
    }

    // Every alternative ends in the shared closing node.
    int ender = emitNode(static_cast<uint8_t>(paren ? reClose + group : reEnd));
    setTail(ret, ender);
    if (!sizing_)
      for (int node = ret; node != 0; node = regExprNextNode(code_.data(), node))
        setOperandTail(node, ender);

    if (paren) {
      if (peek() != ')') fail("unmatched ()");
      ++parse_;
    } else if (peek() != 0) {
      fail(peek() == ')' ? "unmatched ()" : "junk on end");
    }
    return ret;
  }

  // One alternative: a sequence of pieces.
  int parseBranch(int& flags) {
    flags = 0;
    int ret = emitNode(reBranch);
    int chain = 0;
    while (peek() != 0 && peek() != '|' && peek() != ')') {
      int pieceFlags = 0;
      int latest = parsePiece(pieceFlags);
      flags |= pieceFlags & HasWidth;
      if (chain != 0) setTail(chain, latest);
      chain = latest;
    }
    if (chain == 0) emitNode(reNothing);
    return ret;
  }

  // An atom with an optional "*", "+" or "?".
  int parsePiece(int& flags) {
    int atomFlags = 0;
    int ret = parseAtom(atomFlags);
    uint8_t op = peek();
    if (!isRepeatOp(op)) {
      flags = atomFlags;
      return ret;
    }
    if (!(atomFlags & HasWidth) && op != '?') fail("*+ operand could be empty");
    flags = op == '+' ? HasWidth : 0;

    if (op == '*' && (atomFlags & Simple)) {
      insertNode(reStar, ret);
    } else if (op == '*') {
      // x* as a branch over x looping back to itself, or nothing.
      insertNode(reBranch, ret);
      setOperandTail(ret, emitNode(reBack));
      setOperandTail(ret, ret);
      setTail(ret, emitNode(reBranch));
      setTail(ret, emitNode(reNothing));
    } else if (op == '+' && (atomFlags & Simple)) {
      insertNode(rePlus, ret);
    } else if (op == '+') {
      // x+ as x followed by a branch that loops back to x, or nothing.
      int loop = emitNode(reBranch);
      setTail(ret, loop);
      setTail(emitNode(reBack), ret);
      setTail(loop, emitNode(reBranch));
      setTail(ret, emitNode(reNothing));
    } else {
      // x? as a branch over x or nothing.
      insertNode(reBranch, ret);
      setTail(ret, emitNode(reBranch));
      int nothing = emitNode(reNothing);
      setTail(ret, nothing);
      setOperandTail(ret, nothing);
    }
    ++parse_;
    if (isRepeatOp(peek())) fail("nested *?+");
    return ret;
  }

  int parseAtom(int& flags) {
    flags = 0;
    uint8_t c = *parse_++;
    switch (c) {
      case '^': return emitNode(reBol);
      case '$': return emitNode(reEol);
      case '.':
        flags = HasWidth | Simple;
        return emitNode(reAny);
      case '[':
        flags = HasWidth | Simple;
        return parseSet();
      case '(': {
        int groupFlags = 0;
        int ret = parseAlternatives(true, groupFlags);
        flags = groupFlags & HasWidth;
        return ret;
      }
      case 0:
      case '|':
      case ')':
        // parseBranch stops before these.
        fail("Internal urp");
      case '?':
      case '+':
      case '*': fail("?+* follows nothing");
      case '\\': return parseEscape(flags);
      case DigitStandIn:
        flags = HasWidth | Simple;
        return emitNode(reDigit);
      case NotDigitStandIn:
        flags = HasWidth | Simple;
        return emitNode(reNotDigit);
      default:
        --parse_;
        return parseLiteralRun(flags);
    }
  }

  int parseEscape(int& flags) {
    if (peek() == 0) fail("Trailing \\");
    uint8_t c = *parse_++;
    flags = HasWidth | Simple;
    switch (c) {
      case 'd': return emitNode(reDigit);
      case 'D': return emitNode(reNotDigit);
      case 'w': return emitNode(reWord);
      case 'W': return emitNode(reNotWord);
      case 'e': return emitLiteralByte(27);
      case 'n': return emitLiteralByte('\n');
      case 'r': return emitLiteralByte('\r');
      case 't': return emitLiteralByte('\t');
      case 'x': return emitLiteralByte(parseHexByte());
      default: return emitLiteralByte(c);
    }
  }

  // The two hexadecimal digits after "\x".
  uint8_t parseHexByte() {
    if (parse_[0] == 0 || parse_[1] == 0) fail("No hex code after \\x");
    int value = 0;
    for (int i = 0; i < 2; ++i) {
      uint8_t c = *parse_++;
      int digit = hexDigitValue(c);
      if (digit < 0) fail(std::string("Bad hex digit \"") + static_cast<char>(c) + "\"");
      value = value * 16 + digit;
    }
    return static_cast<uint8_t>(value);
  }

  // A run of ordinary bytes. Before a repetition the run gives up its last
  // byte, so that the repetition applies to that byte alone.
  int parseLiteralRun(int& flags) {
    size_t length = 0;
    while (!endsLiteralRun(parse_[length])) ++length;
    if (length == 0) fail("Internal disaster");
    if (length > 1 && isRepeatOp(parse_[length])) --length;
    flags = HasWidth | (length == 1 ? Simple : 0);
    int ret = emitNode(reExactly);
    for (size_t i = 0; i < length; ++i) emitByte(*parse_++);
    emitByte(0);
    return ret;
  }

  // A single escaped byte. The operands are zero-terminated, so byte 0 cannot
  // be a literal: it becomes the empty set, which matches nothing, just as no
  // zero byte ever occurs in a subject.
  int emitLiteralByte(uint8_t byte) {
    int ret = emitNode(byte == 0 ? reAnyOf : reExactly);
    if (byte != 0) emitByte(byte);
    emitByte(0);
    return ret;
  }

  // "[...]" or "[^...]" after the opening bracket. The members are collected
  // first and emitted once each in byte order.
  int parseSet() {
    uint8_t op = reAnyOf;
    if (peek() == '^') {
      op = reAnyBut;
      ++parse_;
    }
    RegExprByteSet members{};
    int rangeStart = -1;  // the byte a following "-" starts a range from
    if (peek() == ']' || peek() == '-') {
      rangeStart = *parse_++;
      members[rangeStart] = true;
    }
    while (peek() != 0 && peek() != ']') {
      if (peek() == '-' && rangeStart >= 0 && parse_[1] != ']' && parse_[1] != 0) {
        ++parse_;
        int rangeEnd = readSetItem(members, true);
        if (rangeEnd < 0) {
          // A class cannot end a range: the "-" was a member of its own.
          members['-'] = true;
        } else {
          addRange(members, rangeStart, rangeEnd);
        }
        rangeStart = rangeEnd;
      } else {
        rangeStart = readSetItem(members, false);
      }
    }
    if (peek() != ']') fail("Unmatched []");
    ++parse_;

    int ret = emitNode(op);
    for (int b = 1; b < 256; ++b)  // byte 0 would end the operand, and never occurs in a subject
      if (members[b]) emitByte(static_cast<uint8_t>(b));
    emitByte(0);
    return ret;
  }

  // One member of a set. Answers its byte, or -1 for a class ("\d", "\w",
  // the digit stand-in) whose bytes were added already. A range end is
  // answered without being added; the stand-in is an ordinary byte there.
  int readSetItem(RegExprByteSet& members, bool rangeEnd) {
    uint8_t c = *parse_++;
    int byte = c;
    if (c == '\\') {
      if (peek() == 0) fail("Trailing \\");
      uint8_t e = *parse_++;
      switch (e) {
        case 'd': addDigits(members); return -1;
        case 'w': addWordBytes(members); return -1;
        case 'e': byte = 27; break;
        case 'n': byte = '\n'; break;
        case 'r': byte = '\r'; break;
        case 't': byte = '\t'; break;
        case 'x': byte = parseHexByte(); break;
        default: byte = e; break;
      }
    } else if (c == DigitStandIn && !rangeEnd) {
      addDigits(members);
      return -1;
    }
    if (!rangeEnd) members[byte] = true;
    return byte;
  }

  // Besides plain ranges, three ranges of the upper half stand for the
  // lower-case letters (0xE0-0xFF with 0xB8), the upper-case letters
  // (0xC0-0xDF with 0xA8), and both (0xE0-0xDF, the one range that may run
  // backwards).
  void addRange(RegExprByteSet& members, int first, int last) {
    bool lower = first == 0xE0 && (last == 0xFF || last == 0xDF);
    bool upper = (first == 0xC0 && last == 0xDF) || (first == 0xE0 && last == 0xDF);
    if (lower || upper) {
      if (lower) {
        addByteRange(members, 0xE0, 0xFF);
        members[0xB8] = true;
      }
      if (upper) {
        addByteRange(members, 0xC0, 0xDF);
        members[0xA8] = true;
      }
      return;
    }
    if (last < first) fail("Invalid [] range");
    addByteRange(members, first, last);
  }

  // --- emitting ---

  void emitByte(uint8_t byte) {
    if (sizing_) {
      ++size_;
      return;
    }
    if (emit_ >= code_.size()) fail("Internal disaster");
    code_[emit_++] = byte;
  }

  int emitNode(uint8_t op) {
    if (sizing_) {
      size_ += RegExprNodeSize;
      return DummyNode;
    }
    int ret = static_cast<int>(emit_);
    emitByte(op);
    emitByte(0);
    emitByte(0);
    return ret;
  }

  // Puts a node in front of the already emitted operand, which moves back.
  void insertNode(uint8_t op, int operand) {
    if (sizing_) {
      size_ += RegExprNodeSize;
      return;
    }
    if (emit_ + RegExprNodeSize > code_.size()) fail("Internal disaster");
    std::memmove(&code_[operand + RegExprNodeSize], &code_[operand], emit_ - operand);
    emit_ += RegExprNodeSize;
    code_[operand] = op;
    code_[operand + 1] = 0;
    code_[operand + 2] = 0;
  }

  // Links the last node of the chain starting at node to target.
  void setTail(int node, int target) {
    if (node == DummyNode) return;
    int scan = node;
    for (int next; (next = regExprNextNode(code_.data(), scan)) != 0;) scan = next;
    int distance = code_[scan] == reBack ? scan - target : target - scan;
    if (distance <= 0 || distance > 0xFFFF) fail("Internal disaster");
    code_[scan + 1] = static_cast<uint8_t>(distance >> 8);
    code_[scan + 2] = static_cast<uint8_t>(distance & 0xFF);
  }

  // setTail on the alternative of a branch node; nothing for other nodes.
  void setOperandTail(int node, int target) {
    if (node == DummyNode || code_[node] != reBranch) return;
    setTail(node + RegExprNodeSize, target);
  }

  std::string pattern_;  // zero-terminated, so the parser may look one byte ahead
  const uint8_t* parse_ = nullptr;
  int groups_ = 1;  // the number the next group gets
  bool sizing_ = true;
  size_t size_ = 0;
  std::vector<uint8_t> code_;
  size_t emit_ = 0;
};

// Walks the nodes in program order (every node header follows the operand
// of the one before) and gives each set node a lookup table.
void buildSetTables(RegExprProgram& program) {
  const std::vector<uint8_t>& code = program.code;
  program.setOfNode.assign(code.size(), 0);
  size_t node = 1;
  while (node < code.size()) {
    uint8_t op = code[node];
    size_t operand = node + RegExprNodeSize;
    if (op == reAnyOf || op == reAnyBut) {
      RegExprByteSet set{};
      while (code[operand] != 0) set[code[operand++]] = true;
      ++operand;
      program.setOfNode[node] = static_cast<uint16_t>(program.sets.size());
      program.sets.push_back(set);
    } else if (op == reExactly) {
      while (code[operand] != 0) ++operand;
      ++operand;
    }
    node = operand;
  }
}

bool singleByteNodeAccepts(const RegExprProgram& program, int node, uint8_t byte) {
  switch (program.Op(node)) {
    case reAny: return true;
    case reAnyOf: return program.SetHas(node, byte);
    case reAnyBut: return !program.SetHas(node, byte);
    case reExactly: return program.OperandBytes(node)[0] == byte;
    case reDigit: return byte >= '0' && byte <= '9';
    case reNotDigit: return !(byte >= '0' && byte <= '9');
    case reWord:
      return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || byte == '_';
    case reNotWord:
      return !((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || byte == '_');
    default: return false;
  }
}

void addSingleByteNode(const RegExprProgram& program, int node, RegExprByteSet& set) {
  for (int b = 1; b < 256; ++b)
    if (singleByteNodeAccepts(program, node, static_cast<uint8_t>(b))) set[b] = true;
}

// Adds the bytes a match of the chain starting at node can begin with: the
// single-byte nodes reachable from node without consuming a byte. Answers
// false when such a walk also reaches the end or a position test ("^", "$"):
// then a match may begin anywhere. Each node is visited once, so a pattern
// of many nested or empty alternatives costs no more than its size.
bool addStartBytes(const RegExprProgram& program, int start, RegExprByteSet& set) {
  std::vector<bool> visited(program.code.size(), false);
  std::vector<int> pending{start};
  while (!pending.empty()) {
    int node = pending.back();
    pending.pop_back();
    if (node == 0) return false;  // a chain without its end: assume anything
    if (visited[node]) continue;
    visited[node] = true;
    uint8_t op = program.Op(node);
    switch (op) {
      case reAny:
      case reAnyOf:
      case reAnyBut:
      case reExactly:
      case reDigit:
      case reNotDigit:
      case reWord:
      case reNotWord: addSingleByteNode(program, node, set); break;
      case rePlus: addSingleByteNode(program, program.Operand(node), set); break;
      case reStar:
        addSingleByteNode(program, program.Operand(node), set);
        pending.push_back(program.Next(node));
        break;
      case reBranch: {
        // The alternatives of a branch chain; the last one's link leads on
        // past the branch, which only its alternative's tail may take.
        int next = program.Next(node);
        if (next != 0 && program.Op(next) == reBranch) pending.push_back(next);
        pending.push_back(program.Operand(node));
        break;
      }
      case reNothing: pending.push_back(program.Next(node)); break;
      default:
        if (op > reOpen && op < reClose + RegExprGroupCount) {
          pending.push_back(program.Next(node));
          break;
        }
        return false;  // reEnd, reBol, reEol, reBack
    }
  }
  return true;
}

// Derives the shortcuts that let a search skip positions or whole subjects.
void analyseTopLevel(RegExprProgram& program) {
  RegExprByteSet start{};
  program.startSetComplete = addStartBytes(program, 1, start);
  program.startSet = start;

  int next = program.Next(1);
  if (next == 0 || program.Op(next) != reEnd) {
    for (int alt = 1; alt != 0 && program.Op(alt) == reBranch; alt = program.Next(alt)) {
      int first = program.Operand(alt);
      if (program.Op(first) != reExactly) {
        program.startLiterals.clear();
        break;
      }
      program.startLiterals.emplace_back(reinterpret_cast<const char*>(program.OperandBytes(first)));
    }
    return;
  }
  int scan = program.Operand(1);
  if (program.Op(scan) == reExactly)
    program.firstLiteral = reinterpret_cast<const char*>(program.OperandBytes(scan));
  else if (program.Op(scan) == reBol)
    program.anchored = true;
  // Only nodes of this chain are certain to take part in every match: the
  // contents of branches, loops and optional parts hang off it as operands.
  for (size_t steps = 0; scan != 0 && steps < program.code.size(); scan = program.Next(scan), ++steps) {
    if (program.Op(scan) != reExactly) continue;
    const char* literal = reinterpret_cast<const char*>(program.OperandBytes(scan));
    if (std::strlen(literal) >= program.requiredLiteral.size()) program.requiredLiteral = literal;
  }
}

}  // namespace

RegExprProgram compileRegExpr(std::string_view pattern) {
  RegExprProgram program = Compiler(pattern).Run();
  buildSetTables(program);
  analyseTopLevel(program);
  return program;
}
