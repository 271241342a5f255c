// Step back is exact: random short programs (arithmetic, the stack, calls,
// jumps and loops, string instructions, memory writes, code that rewrites
// itself, output, key reads and key polls) stepped forward, back to their
// start and forward again pass through the same states byte for byte, and a
// run of many instructions at once ends in the state single steps reach.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "support/debug_support.h"
#include "support/program_support.h"

namespace quorix {
namespace {

using testing_support::DebuggerFor;
using testing_support::Difference;
using testing_support::JoinLines;
using testing_support::ProgramState;
using testing_support::StateOf;

#define NEED_ENGINE()                                                          \
  do {                                                                         \
    if (!DefaultMachineFactory()) {                                            \
      if (QUORIX_EXPECT_ENGINE) FAIL() << "built with Unicorn but no machine"; \
      GTEST_SKIP() << "built without Unicorn";                                 \
    }                                                                          \
  } while (0)

// A random program in the dialect: a body of items, an exit, a procedure,
// the data it writes and a text it prints.
class RandomProgram {
 public:
  RandomProgram(uint32_t seed, uint32_t bits) : rng_(seed), bits_(bits) {}

  std::string Source() {
    lines_ = {bits_ == 32 ? "[BITS #32]" : "[ORG 100]", "START:"};
    const int items = 8 + Pick(16);
    for (int i = 0; i < items; ++i) Item();
    Add({"MOV AX, 4C00", "INT 21", "SUB1:", "INC " + R("AX"), "XOR " + R("DX") + ", " + R("BX"),
         "RET", "MSG:", "DB \"OK$\"", "DATA:"});
    std::string data = "DB ";
    for (int k = 0; k < 16; ++k) data += (k ? "," : "") + Hex(Pick(256));
    lines_.push_back(data);
    return JoinLines(lines_);
  }

 private:
  int Pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }
  static std::string Hex(int v) {
    char b[8];
    std::snprintf(b, sizeof b, "%X", v);
    return b;
  }
  std::string R(const std::string& r16) const { return bits_ == 32 ? "E" + r16 : r16; }
  std::string Reg() {
    static const char* const kRegs[] = {"AX", "BX", "CX", "DX", "SI", "DI", "BP"};
    return R(kRegs[Pick(7)]);
  }
  std::string Label() { return "L" + std::to_string(++label_); }
  void Add(std::initializer_list<std::string> lines) {
    lines_.insert(lines_.end(), lines.begin(), lines.end());
  }

  // Registers only, no control transfer: a loop's or a jump's body.
  void Simple() {
    static const char* const kOps[] = {"ADD", "SUB", "XOR", "AND", "OR", "ADC", "CMP"};
    static const char* const kBytes[] = {"AL", "BL", "DL", "AH", "BH", "DH"};
    switch (Pick(5)) {
      case 0: Add({"MOV " + Reg() + ", " + Hex(Pick(0x10000))}); break;
      case 1: Add({"MOV " + std::string(kBytes[Pick(6)]) + ", " + Hex(Pick(256))}); break;
      case 2: Add({std::string(kOps[Pick(7)]) + " " + Reg() + ", " + Reg()}); break;
      case 3: Add({std::string(Pick(2) ? "INC " : "DEC ") + Reg()}); break;
      default:
        Add({std::string(Pick(2) ? "SHL " : "SHR ") + R("AX") + ", " + Hex(1 + Pick(3))});
        break;
    }
  }

  void Memory() {
    const std::string k = Hex(Pick(14));
    const std::string bx = "[" + R("BX") + "+" + k + "]";
    Add({"MOV " + R("BX") + ", OFFSET DATA"});
    switch (Pick(5)) {
      case 0: Add({"MOV " + bx + ", AL"}); break;
      case 1: Add({"INC B." + bx}); break;
      case 2: Add({"ADD W." + bx + ", " + Hex(Pick(0x10000))}); break;
      case 3: Add({"MOV " + bx + ", CX"}); break;
      default: Add({"XCHG AL, " + bx}); break;
    }
  }

  void Strings() {
    switch (Pick(3)) {
      case 0:
        Add({"MOV " + R("DI") + ", OFFSET DATA", "ADD " + R("DI") + ", " + Hex(Pick(9)),
             "MOV " + R("CX") + ", " + Hex(Pick(6)), "REP STOSB"});
        break;
      case 1: Add({"MOV " + R("SI") + ", OFFSET DATA", "LODSB"}); break;
      default:
        Add({"MOV " + R("SI") + ", OFFSET DATA", "MOV " + R("DI") + ", OFFSET DATA",
             "ADD " + R("DI") + ", 8", "MOV " + R("CX") + ", 4", "REP MOVSB"});
        break;
    }
  }

  // The screen's cursor and teletype, the clock.
  void Services() {
    switch (Pick(3)) {
      case 0:
        Add({"MOV AH, 2", "MOV BH, 0", "MOV DX, " + Hex(Pick(25) << 8 | Pick(80)), "INT 10"});
        break;
      case 1: Add({"MOV AH, E", "MOV AL, " + Hex(0x30 + Pick(10)), "INT 10"}); break;
      default: Add({"MOV AH, 2C", "INT 21"}); break;
    }
  }

  void Item() {
    static const char* const kJumps[] = {"JZ", "JNZ", "JC", "JNC", "JS", "JBE", "JA", "JMP"};
    switch (Pick(13)) {
      case 0:
        Add({"PUSH " + Reg()});
        Simple();
        Add({"POP " + Reg()});
        break;
      case 1: Memory(); break;
      case 2: Strings(); break;
      case 3: Add({"CALL SUB1"}); break;
      case 4: Add({"MOV AH, 2", "MOV DL, " + Hex(0x41 + Pick(26)), "INT 21"}); break;
      case 5: Add({"MOV AH, 9", "MOV " + R("DX") + ", OFFSET MSG", "INT 21"}); break;
      case 6: Add({"MOV AH, 1", Pick(2) ? "INT 21" : "INT 16"}); break;  // a read or a poll
      case 7: {
        const std::string l = Label();
        Add({std::string(kJumps[Pick(8)]) + " " + l});
        Simple();
        Add({l + ":"});
        break;
      }
      case 8: {
        const std::string l = Label();
        Add({"MOV " + R("CX") + ", " + Hex(1 + Pick(4)), l + ":"});
        Simple();
        Add({"LOOP " + l});
        break;
      }
      case 9: {  // rewrites the immediate of the instruction after it
        const std::string l = Label();
        Add({"MOV " + R("BX") + ", OFFSET " + l, "MOV B.[" + R("BX") + "+1], " + Hex(Pick(256)),
             l + ":", "MOV AL, 0"});
        break;
      }
      case 10: Services(); break;
      default: Simple(); break;
    }
  }

  std::mt19937 rng_;
  uint32_t bits_;
  int label_ = 0;
  std::vector<std::string> lines_;
};

constexpr int kSteps = 300;

// Forward one step at a time, recording the state at each instruction
// count; keys arrive halfway. Returns the ended state, if it ended.
void Forward(Debugger& d, std::map<uint64_t, ProgramState>* states, ProgramState* end) {
  (*states)[d.executed()] = StateOf(d);
  for (int i = 0; i < kSteps && !d.ended(); ++i) {
    if (i == kSteps / 2) {
      d.Key('z');
      d.Key('\r');
    }
    d.StepInto();
    d.Finish();
    if (d.ended())
      *end = StateOf(d);
    else
      states->emplace(d.executed(), StateOf(d));
  }
}

TEST(StepBack, RandomProgramsReturnToEveryStateByteForByte) {
  NEED_ENGINE();
  const uint64_t intervals[] = {1, 5, 64, 0};
  for (uint32_t seed = 1; seed <= 48; ++seed) {
    const uint32_t bits = seed % 4 == 0 ? 32 : 16;
    const std::string source = RandomProgram(seed, bits).Source();
    DebuggerOptions options;
    options.checkpointInterval = intervals[seed % 4];
    std::string error;
    auto d = DebuggerFor(source, &error, options);
    ASSERT_NE(d, nullptr) << error << "\n" << source;
    d->Key('x');
    std::map<uint64_t, ProgramState> states;
    ProgramState end;
    Forward(*d, &states, &end);
    const uint64_t last = d->executed();
    const bool ended = d->ended();
    const std::string where = "seed " + std::to_string(seed) + "\n" + source;

    // Back to the start, one instruction at a time.
    while (d->executed() > 0 || d->ended()) {
      ASSERT_TRUE(d->StepBack(1)) << where;
      const ProgramState now = StateOf(*d);
      ASSERT_TRUE(now == states[d->executed()])
          << "back at " << d->executed() << ":" << Difference(now, states[d->executed()]) << "\n"
          << where;
    }
    // Forward again through the same states.
    while (d->executed() < last && !d->ended()) {
      d->StepInto();
      d->Finish();
      const ProgramState now = StateOf(*d);
      const ProgramState& want = d->ended() ? end : states[d->executed()];
      ASSERT_TRUE(now == want) << "forward again at " << d->executed() << ":"
                               << Difference(now, want) << "\n"
                               << where;
    }
    if (ended && !d->ended()) {
      d->StepInto();
      d->Finish();
      ASSERT_TRUE(StateOf(*d) == end) << "the end again:" << Difference(StateOf(*d), end) << where;
    }
    // All the way back at once, then one run of as many instructions as
    // the steps took: the state the steps reached.
    if (d->ended()) {
      ASSERT_TRUE(d->StepBack(1)) << where;
    }
    if (d->executed() > 0) {
      ASSERT_TRUE(d->StepBack(d->executed())) << where;
    }
    ASSERT_TRUE(StateOf(*d) == states[0]) << Difference(StateOf(*d), states[0]) << where;
    d->Continue();
    d->Slice({last, {}});
    const ProgramState run = StateOf(*d);
    const ProgramState& want = d->ended() ? end : states[d->executed()];
    EXPECT_TRUE(run == want) << "one run of " << last << " instructions stopped at "
                             << d->executed() << ":" << Difference(run, want) << "\n"
                             << where;
  }
}

// A program polling for a key (INT 16h 01h) while it counts: a key typed
// after some polls is found at the same poll when the program runs again
// from an earlier point, and no earlier.
TEST(StepBack, PollsThatFoundNoKeyFindNoneAgain) {
  NEED_ENGINE();
  std::string error;
  auto d = DebuggerFor(JoinLines({"[ORG 100]", "POLL:", "INC CX", "MOV AH, 1", "INT 16", "JZ POLL",
                                  "MOV AH, 0", "INT 16", "MOV AX, 4C00", "INT 21"}),
                       &error);
  ASSERT_NE(d, nullptr) << error;
  d->Continue();
  EXPECT_EQ(d->Slice({4000, {}}).kind, StopKind::Running);
  d->Key('k');
  EXPECT_EQ(d->Finish().kind, StopKind::Ended);
  const ProgramState first = StateOf(*d);
  const uint32_t polls = d->machine().Get(Reg::Ecx);
  EXPECT_GE(polls, 1000u);
  ASSERT_TRUE(d->StepBack(3000));
  d->Continue();
  EXPECT_EQ(d->Finish().kind, StopKind::Ended);
  EXPECT_EQ(d->machine().Get(Reg::Ecx), polls);
  EXPECT_TRUE(StateOf(*d) == first) << Difference(StateOf(*d), first);
}

// With the default checkpoints, step back reaches at least 100,000
// instructions back, exactly; further back than the history it refuses
// and changes nothing.
TEST(StepBack, ReachesAHundredThousandInstructionsBack) {
  NEED_ENGINE();
  std::string error;
  DebuggerOptions options;
  options.stepLimit = 10'000'000;
  auto d = DebuggerFor(JoinLines({"[ORG 100]", "MOV BX, OFFSET DATA", "L:", "INC AX",
                                  "ADD [BX], AL", "XOR DX, AX", "JMP L", "DATA:", "DB 0"}),
                       &error, options);
  ASSERT_NE(d, nullptr) << error;
  d->Continue();
  d->Slice({400'000, {}});
  const ProgramState then = StateOf(*d);
  d->Continue();
  d->Slice({100'001, {}});
  ASSERT_EQ(d->executed(), then.executed + 100'001);
  ASSERT_TRUE(d->StepBack(100'001));
  EXPECT_TRUE(StateOf(*d) == then) << Difference(StateOf(*d), then);
  d->Continue();
  d->Slice({200'000, {}});
  const ProgramState before = StateOf(*d);
  EXPECT_LT(d->earliest(), d->executed() - 100'000);
  EXPECT_FALSE(d->StepBack(d->executed() - d->earliest() + 1));
  EXPECT_TRUE(StateOf(*d) == before) << Difference(StateOf(*d), before);
}

// Code that rewrites the instruction after it counts one instruction per
// instruction whether it runs on or is single-stepped, so that a run to a
// count and single steps to it reach the same state.
TEST(StepBack, RewrittenCodeCountsTheSameRunOrStepped) {
  NEED_ENGINE();
  std::string error;
  const std::string source =
      JoinLines({"[ORG 100]", "MOV CX, #50", "L:", "MOV BX, OFFSET P", "INC B.[BX+1]",
                 "P:", "MOV AL, 0", "ADD DL, AL", "LOOP L", "MOV AX, 4C00", "INT 21"});
  auto stepped = DebuggerFor(source, &error);
  ASSERT_NE(stepped, nullptr) << error;
  auto run = DebuggerFor(source, &error);
  ASSERT_NE(run, nullptr) << error;
  while (!stepped->ended()) {
    stepped->StepInto();
    stepped->Finish();
  }
  run->Continue();
  run->Finish();
  EXPECT_EQ(run->executed(), stepped->executed());
  EXPECT_EQ(run->machine().Get(Reg::Edx) & 0xFF, 0xFBu);  // 1 + 2 + ... + 50, the bytes written
  EXPECT_EQ(stepped->machine().Get(Reg::Edx) & 0xFF, 0xFBu);
  EXPECT_EQ(stepped->executed(), 1u + 50 * 5 + 2);
}

// A step back to before code was rewritten puts the old bytes back, and
// the instructions run again are the old ones, not the engine's
// translation of the new.
TEST(StepBack, RewrittenCodeRunsAsItWasAfterAStepBack) {
  NEED_ENGINE();
  std::string error;
  DebuggerOptions options;
  options.checkpointInterval = 8;
  auto d = DebuggerFor(JoinLines({"[ORG 100]", "MOV CX, #10", "L:", "MOV AL, 1", "ADD DL, AL",
                                  "CMP CX, 5", "JNE SKIP", "MOV BX, OFFSET L", "MOV B.[BX+1], 10",
                                  "SKIP:", "LOOP L", "MOV AX, 4C00", "INT 21"}),
                       &error, options);
  ASSERT_NE(d, nullptr) << error;
  std::vector<ProgramState> states;
  while (!d->ended()) {
    states.push_back(StateOf(*d));
    d->StepInto();
    d->Finish();
  }
  EXPECT_EQ(d->machine().Get(Reg::Edx) & 0xFF, 6 * 1 + 4 * 0x10u);
  ASSERT_TRUE(d->StepBack(1));
  ASSERT_TRUE(d->StepBack(d->executed() - 12));  // in the third pass, before the rewrite
  EXPECT_TRUE(StateOf(*d) == states[12]) << Difference(StateOf(*d), states[12]);
  d->Continue();
  d->Finish();
  EXPECT_EQ(d->machine().Get(Reg::Edx) & 0xFF, 6 * 1 + 4 * 0x10u);
}

// Output that a step back takes back and a run forward writes again
// reaches a sink once; the debugger's own log holds it as it now stands.
TEST(StepBack, ASinkGetsEachByteOnce) {
  NEED_ENGINE();
  std::string error;
  auto d = DebuggerFor(JoinLines({"[ORG 100]", "MOV AH, 2", "MOV DL, 41", "INT 21", "INC DL",
                                  "INT 21", "INC DL", "INT 21", "INT 20"}),
                       &error);
  ASSERT_NE(d, nullptr) << error;
  testing_support::Capture sink;
  d->SetOutputSink(&sink);
  d->Continue();
  EXPECT_EQ(d->Finish().kind, StopKind::Ended);
  ASSERT_TRUE(d->StepBack(3));  // out of the end, back over the third INT 21 and its INC
  EXPECT_EQ(d->output().Text(), "AB");
  d->Continue();
  d->Finish();
  EXPECT_EQ(d->output().Text(), "ABC");
  EXPECT_EQ(sink.out, "ABC");
}

}  // namespace
}  // namespace quorix
