#include "engine/unicorn/unicorn_machine.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "sim/x86_shape.h"

namespace quorix {

namespace {

constexpr int kUnicornReg[kRegCount] = {
    UC_X86_REG_EAX, UC_X86_REG_ECX,    UC_X86_REG_EDX, UC_X86_REG_EBX,
    UC_X86_REG_ESP, UC_X86_REG_EBP,    UC_X86_REG_ESI, UC_X86_REG_EDI,
    UC_X86_REG_EIP, UC_X86_REG_EFLAGS, UC_X86_REG_ES,  UC_X86_REG_CS,
    UC_X86_REG_SS,  UC_X86_REG_DS,     UC_X86_REG_FS,  UC_X86_REG_GS,
};

constexpr uint32_t kPage = 0x1000;
// Breakpoints spread over at most this many bytes are kept as a bitmap;
// wider sets are searched in a sorted list.
constexpr uint64_t kBitmapSpan = 1u << 24;
#ifdef uc_ctl_set_tcg_buffer_size
constexpr uint32_t kTranslationBuffer = 32u << 20;  // bytes of translated code before a flush
// 32-bit code runs flat: a descriptor table in the address space's last page
// (which no program may use), read-only, with a code descriptor at 08 and a
// data descriptor at 10, both base 0, limit 4 GiB, 32-bit, already accessed.
constexpr uint32_t kDescriptorPage = 0xFFFFF000;
constexpr uint16_t kFlatCode = 0x08;
constexpr uint16_t kFlatData = 0x10;
constexpr uint8_t kFlatDescriptors[24] = {
    0,    0,    0, 0, 0, 0,    0,    0,     // null
    0xFF, 0xFF, 0, 0, 0, 0x9B, 0xCF, 0x00,  // code: present, ring 0, execute/read
    0xFF, 0xFF, 0, 0, 0, 0x93, 0xCF, 0x00,  // data: present, ring 0, read/write
};
#endif

class UnicornMachine final : public Machine {
 public:
  ~UnicornMachine() override { Close(); }

  bool Reset(uint32_t bits) override {
    resumeNext_ = false;
    executedBefore_ = 0;
    codeRanges_.clear();
    lastRange_ = {0, 0};
    Window();
    if (bits == bits_ && StartOver()) return true;
    Close();
    bits_ = bits;
    if (uc_open(UC_ARCH_X86, bits == 16 ? UC_MODE_16 : UC_MODE_32, &uc_) != UC_ERR_OK) {
      uc_ = nullptr;
      return false;
    }
#ifdef uc_ctl_set_tcg_buffer_size
    // The translated code lives in a buffer that is flushed when full: a
    // small one keeps the memory of a long run (or of millions of single
    // steps) flat.
    uc_ctl_set_tcg_buffer_size(uc_, kTranslationBuffer);
#endif
    mapped_.clear();
    if (bits == 32 && !LoadFlatSegments()) {
      Close();
      return false;
    }
    uc_hook hook;
    if (uc_hook_add(uc_, &hook, UC_HOOK_INTR, reinterpret_cast<void*>(&OnInterrupt), this, 1, 0) !=
            UC_ERR_OK ||
        uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(&OnCode), this, 1, 0) !=
            UC_ERR_OK ||
        uc_hook_add(uc_, &hook, UC_HOOK_MEM_FETCH_UNMAPPED | UC_HOOK_MEM_FETCH_PROT,
                    reinterpret_cast<void*>(&OnFetchFault), this, 1, 0) != UC_ERR_OK ||
        uc_hook_add(uc_, &hook,
                    UC_HOOK_MEM_READ_UNMAPPED | UC_HOOK_MEM_WRITE_UNMAPPED | UC_HOOK_MEM_READ_PROT |
                        UC_HOOK_MEM_WRITE_PROT,
                    reinterpret_cast<void*>(&OnDataFault), this, 1, 0) != UC_ERR_OK ||
        uc_hook_add(uc_, &hook, UC_HOOK_INSN_INVALID, reinterpret_cast<void*>(&OnInvalid), this, 1,
                    0) != UC_ERR_OK ||
        uc_hook_add(uc_, &hook, UC_HOOK_INSN, reinterpret_cast<void*>(&OnTimeStamp), this, 1, 0,
                    UC_X86_INS_RDTSC) != UC_ERR_OK ||
        uc_hook_add(uc_, &hook, UC_HOOK_INSN, reinterpret_cast<void*>(&OnTimeStampAndAux), this, 1,
                    0, UC_X86_INS_RDTSCP) != UC_ERR_OK) {
      Close();
      return false;
    }
    // The processor as it starts, for the next Reset to the same mode.
    if (uc_context_alloc(uc_, &fresh_) != UC_ERR_OK || uc_context_save(uc_, fresh_) != UC_ERR_OK) {
      Close();
      return false;
    }
    return true;
  }

  // The engine opened for this mode before, brought back to how it started:
  // its memory unmapped (but for the descriptor table), its processor as it
  // was saved then, its translations dropped. Opening a new one costs far
  // more, most of all to a restarted program or a series of runs.
  bool StartOver() {
    if (uc_ == nullptr || fresh_ == nullptr) return false;
    for (const AddressRange& m : mapped_)
      if (uc_mem_unmap(uc_, m.begin, uint64_t(m.end) - m.begin) != UC_ERR_OK) return false;
    mapped_.clear();
    return uc_context_restore(uc_, fresh_) == UC_ERR_OK && uc_ctl_flush_tb(uc_) == UC_ERR_OK &&
           uc_ctl_flush_tlb(uc_) == UC_ERR_OK;
  }

  // Without descriptors the engine keeps 32-bit code's stack width only
  // until the first segment load (MOV FS,AX with AX=0, say), after which
  // pushes and pops would use SP. SS, DS and ES get the flat data
  // descriptor and CS the code descriptor, as a 32-bit protected-mode
  // program expects them; FS and GS stay null.
  bool LoadFlatSegments() {
    if (uc_mem_map(uc_, kDescriptorPage, kPage, UC_PROT_READ) != UC_ERR_OK ||
        uc_mem_write(uc_, kDescriptorPage, kFlatDescriptors, sizeof kFlatDescriptors) != UC_ERR_OK)
      return false;
    uc_x86_mmr gdtr{};
    gdtr.base = kDescriptorPage;
    gdtr.limit = sizeof kFlatDescriptors - 1;
    if (uc_reg_write(uc_, UC_X86_REG_GDTR, &gdtr) != UC_ERR_OK) return false;
    for (int reg : {UC_X86_REG_SS, UC_X86_REG_DS, UC_X86_REG_ES, UC_X86_REG_CS}) {
      uint16_t selector = reg == UC_X86_REG_CS ? kFlatCode : kFlatData;
      if (uc_reg_write(uc_, reg, &selector) != UC_ERR_OK) return false;
    }
    return true;
  }

  bool Map(AddressRange range) override {
    if (uc_ == nullptr || range.end <= range.begin || range.begin % kPage != 0 ||
        range.end % kPage != 0)
      return false;
    if (uc_mem_map(uc_, range.begin, uint64_t(range.end) - range.begin, UC_PROT_ALL) != UC_ERR_OK)
      return false;
    mapped_.push_back(range);
    ProtectOutsideCode();
    return true;
  }

  void SetCodeRanges(std::span<const AddressRange> ranges) override {
    codeRanges_.assign(ranges.begin(), ranges.end());
    lastRange_ = {0, 0};
    Window();
    ProtectOutsideCode();
  }

  // The engine does not notice a write from outside into code it has
  // translated: the translations of a written code range are dropped.
  bool Write(uint32_t linear, std::span<const uint8_t> bytes) override {
    if (uc_ == nullptr || uc_mem_write(uc_, linear, bytes.data(), bytes.size()) != UC_ERR_OK)
      return false;
    const uint64_t end = uint64_t(linear) + bytes.size();
    for (const AddressRange& r : codeRanges_) {
      if (r.begin < end && r.end > linear) {
        uc_ctl_remove_cache(uc_, uint64_t(linear), end);
        break;
      }
    }
    return true;
  }
  bool Read(uint32_t linear, std::span<uint8_t> bytes) override {
    return uc_ != nullptr && uc_mem_read(uc_, linear, bytes.data(), bytes.size()) == UC_ERR_OK;
  }

  uint32_t Get(Reg r) override {
    if (uc_ == nullptr) return 0;
    uint64_t v = 0;
    uc_reg_read(uc_, kUnicornReg[static_cast<int>(r)], &v);
    return static_cast<uint32_t>(v);
  }
  void Set(Reg r, uint32_t value) override {
    if (uc_ == nullptr) return;
    uint64_t v = value;
    uc_reg_write(uc_, kUnicornReg[static_cast<int>(r)], &v);
  }

  MachineStop Run(uint64_t count, uint32_t next) override {
    MachineStop stop;
    const bool resume = std::exchange(resumeNext_, false);
    if (uc_ == nullptr) {
      stop.event = MachineEvent::OtherFault;
      return stop;
    }
    if (count == 0) count = 1;
    // 16-bit code past offset FFFFh is outside every program (the engine
    // raises #GP there, and would start at IP, cut to 16 bits).
    if (bits_ == 16 && Get(Reg::Eip) > 0xFFFF) {
      stop.event = MachineEvent::OutsideCode;
      return stop;
    }
    if (count == 1) return Step(next, resume);
    return RunCounted(count, next, resume);
  }

  std::vector<uint8_t> SaveState() override {
    if (uc_ == nullptr || !OpenContext() || uc_context_save(uc_, context_) != UC_ERR_OK) return {};
    const auto* bytes = reinterpret_cast<const uint8_t*>(context_);
    return std::vector<uint8_t>(bytes, bytes + uc_context_size(uc_));
  }

  void RestoreState(std::span<const uint8_t> state) override {
    if (uc_ == nullptr || !OpenContext() || state.size() != uc_context_size(uc_)) return;
    std::memcpy(reinterpret_cast<uint8_t*>(context_), state.data(), state.size());
    uc_context_restore(uc_, context_);
  }

  std::vector<AddressRange> MappedRanges() const override { return mapped_; }

  void SetBreakpoints(std::span<const uint32_t> linear) override {
    bpSorted_.assign(linear.begin(), linear.end());
    std::sort(bpSorted_.begin(), bpSorted_.end());
    bpSorted_.erase(std::unique(bpSorted_.begin(), bpSorted_.end()), bpSorted_.end());
    bpBits_.clear();
    bpBase_ = bpSorted_.empty() ? 0 : bpSorted_.front();
    bpSpan_ = bpSorted_.empty() ? 0 : uint64_t(bpSorted_.back()) - bpBase_ + 1;
    if (bpSpan_ != 0 && bpSpan_ <= kBitmapSpan) {
      bpBits_.assign((bpSpan_ + 63) / 64, 0);
      for (uint32_t a : bpSorted_)
        bpBits_[(a - bpBase_) / 64] |= uint64_t(1) << ((a - bpBase_) % 64);
    }
    Window();
  }

  void ResumeAtBreakpoint() override { resumeNext_ = true; }
  void SetExecuted(uint64_t count) override { executedBefore_ = count; }

 private:
  static constexpr uint64_t kNoExit = 0xFFFFFFFFFFFFFFFFull;
  static constexpr uint64_t kNoAddress = 0xFFFFFFFFFFFFFFFFull;

  // One instruction. An instruction that writes into the page it was
  // translated from is restarted by the engine after its first hook call,
  // before it changed anything: a step that comes back to its own start
  // with every register as it was is given one more hook call to complete.
  MachineStop Step(uint32_t next, bool resume) {
    uint32_t before[kRegCount];
    for (int i = 0; i < kRegCount; ++i) before[i] = Get(static_cast<Reg>(i));
    MachineStop stop = RunCounted(1, next, resume);
    if (stop.event != MachineEvent::None || stop.executed != 1) return stop;
    for (int i = 0; i < kRegCount; ++i)
      if (Get(static_cast<Reg>(i)) != before[i]) return stop;
    stop = RunCounted(2, next, resume);
    if (stop.executed > 1) stop.executed = 1;
    return stop;
  }

  MachineStop RunCounted(uint64_t count, uint32_t next, bool resume) {
    MachineStop stop;
    event_ = MachineEvent::None;
    length_ = 0;
    vector_ = 0;
    executed_ = 0;
    pending_ = false;
    limit_ = count;
    curIp_ = Get(Reg::Eip);
    const uint32_t start = Linear(curIp_);
    curAddress_ = start;
    fetchFault_ = false;
    passAt_ = resume ? start : kNoAddress;
    repeatAt_ = kNoAddress;
    restartAt_ = kNoAddress;
    // The run ends by count, by a hook, by an error, or at `next`.
    const uint64_t until = next != 0 ? Linear(next) : kNoExit;
    uc_err err = uc_emu_start(uc_, start, until, 0, 0);
    // An instruction whose hook ran last, with no hook after it, completed:
    // a HLT, or the last instruction before `next`. Either way the engine's
    // own EIP is where it stopped.
    if (pending_ && event_ == MachineEvent::None && err == UC_ERR_OK) {
      const uint64_t end = EngineAddress();
      if (HaltEndsAt(curAddress_, end)) {
        event_ = MachineEvent::Halt;
        length_ = static_cast<uint32_t>(end - curAddress_);
      }
      ++executed_;
      curAddress_ = end;
    }
    if (event_ == MachineEvent::None && err != UC_ERR_OK) {
      switch (err) {
        case UC_ERR_READ_UNMAPPED:
        case UC_ERR_WRITE_UNMAPPED:
        case UC_ERR_READ_PROT:
        case UC_ERR_WRITE_PROT:
        case UC_ERR_READ_UNALIGNED:
        case UC_ERR_WRITE_UNALIGNED: event_ = MachineEvent::MemoryFault; break;
        case UC_ERR_FETCH_UNMAPPED:
        case UC_ERR_FETCH_PROT:
        case UC_ERR_FETCH_UNALIGNED: event_ = MachineEvent::OutsideCode; break;
        case UC_ERR_INSN_INVALID:
          event_ = MachineEvent::InvalidOpcode;
          vector_ = 6;
          break;
        default: event_ = MachineEvent::OtherFault; break;
      }
    }
    // Inside a run the engine's EIP is not kept current; the hooks know
    // where the next (or the failing) instruction is. An interrupt leaves
    // the engine's own EIP after the INT.
    if (!fetchFault_) curIp_ = OffsetOf(uc_, curAddress_);
    if (event_ != MachineEvent::Interrupt) Set(Reg::Eip, curIp_);
    stop.event = event_;
    stop.vector = vector_;
    stop.executed = executed_;
    stop.length = length_;
    return stop;
  }

  // The linear address of the engine's own CS:EIP, kept current when a
  // run stops: at `next`, or after a HLT.
  uint64_t EngineAddress() {
    const uint64_t eip = Get(Reg::Eip);
    return bits_ == 16 ? (uint64_t(Get(Reg::Cs)) << 4) + eip : eip;
  }

  // Whether the instruction at `address`, run last, was a HLT ending at
  // `end`: its bytes there are HLT with its prefixes (26 F4 is a HLT too),
  // and the engine did not restart it, as it restarts an instruction that
  // writes into its own code. An instruction that rewrote itself into
  // F4 is no HLT.
  bool HaltEndsAt(uint64_t address, uint64_t end) {
    if (restartAt_ == address && restartCount_ == executed_) return false;
    uint8_t code[15] = {};
    if (end <= address || end - address > sizeof code) return false;
    const auto n = static_cast<uint32_t>(end - address);
    if (uc_mem_read(uc_, address, code, n) != UC_ERR_OK) return false;
    const InsnShape shape = ShapeOf(std::span<const uint8_t>(code, n), bits_);
    return shape.kind == InsnKind::Halt && shape.length == n;
  }

  // Pages that hold no code range can be read and written but not executed,
  // so that a jump there stops before the engine translates anything. Each
  // run of pages alike is one call: every call splits the engine's regions.
  void ProtectOutsideCode() {
    if (uc_ == nullptr || codeRanges_.empty()) return;
    for (const AddressRange& m : mapped_) {
      uint64_t from = m.begin;
      bool fromCode = HoldsCode(from);
      for (uint64_t page = m.begin + kPage; page <= m.end; page += kPage) {
        const bool code = page < m.end && HoldsCode(page);
        if (page < m.end && code == fromCode) continue;
        uc_mem_protect(uc_, from, page - from,
                       fromCode ? UC_PROT_ALL : UC_PROT_READ | UC_PROT_WRITE);
        from = page;
        fromCode = code;
      }
    }
  }

  bool HoldsCode(uint64_t page) const {
    for (const AddressRange& r : codeRanges_)
      if (r.begin < page + kPage && r.end > page && r.end > r.begin) return true;
    return false;
  }

  uint32_t Linear(uint32_t eip) {
    if (bits_ != 16) return eip;
    return (Get(Reg::Cs) << 4) + (eip & 0xFFFF);
  }

  bool InCode(uint64_t address) {
    if (address >= lastRange_.begin && address < lastRange_.end) return true;
    for (const AddressRange& r : codeRanges_) {
      if (address >= r.begin && address < r.end) {
        lastRange_ = r;
        Window();
        return true;
      }
    }
    return codeRanges_.empty();
  }

  // The parts of lastRange_ outside the breakpoints' span, the larger first:
  // an instruction there needs no check but the count.
  void Window() {
    const uint64_t b = lastRange_.begin, e = lastRange_.end;
    const uint64_t wb = bpBase_, we = bpBase_ + bpSpan_;
    if (bpSpan_ == 0 || we <= b || wb >= e) {
      free_[0] = {b, e - b};
      free_[1] = {0, 0};
      return;
    }
    free_[0] = {b, std::max(b, wb) - b};
    free_[1] = {std::min(e, we), e - std::min(e, we)};
    if (free_[1].span > free_[0].span) std::swap(free_[0], free_[1]);
  }

  // No check is due before this instruction but the count: it lies in the
  // code range of the last one, and no breakpoint is set at it.
  bool Free(uint64_t address) const {
    if (address - free_[0].base < free_[0].span || address - free_[1].base < free_[1].span)
      return true;
    const uint64_t at = address - bpBase_;
    return address >= lastRange_.begin && address < lastRange_.end && at < bpSpan_ &&
           !bpBits_.empty() && ((bpBits_[at / 64] >> (at % 64)) & 1) == 0;
  }

  bool OpenContext() {
    if (context_ == nullptr && uc_context_alloc(uc_, &context_) != UC_ERR_OK) context_ = nullptr;
    return context_ != nullptr;
  }

  bool IsBreakpoint(uint64_t address) const {
    const uint64_t at = address - bpBase_;
    if (!bpBits_.empty()) return (bpBits_[at / 64] >> (at % 64)) & 1;
    return std::binary_search(bpSorted_.begin(), bpSorted_.end(), static_cast<uint32_t>(address));
  }

  // The hook comes to the instruction it came to last without another in
  // between. That is the instruction running again (a REP iteration, a jump
  // to itself), or the engine restarting it after it wrote into the code it
  // was translated with: a restart has not completed it, and only an
  // instruction that cannot lead back to itself is restarted.
  bool Restarted(uc_engine* uc, uint64_t address) {
    if (address != repeatAt_) {
      uint8_t code[16] = {};
      uint32_t n = sizeof code;
      while (n > 0 && uc_mem_read(uc, address, code, n) != UC_ERR_OK) n /= 2;
      repeatAt_ = address;
      repeatLoops_ = CanRepeatItself(ShapeOf(std::span<const uint8_t>(code, n), bits_));
    }
    return !repeatLoops_;
  }

  // Before each instruction: the previous one has completed. The usual
  // case (no restart, count left, inside the code range of the last
  // instruction, no breakpoint) is decided here; the rest out of line.
  static void OnCode(uc_engine* uc, uint64_t address, uint32_t /*size*/, void* self) {
    auto* m = static_cast<UnicornMachine*>(self);
    // The run has ended (a fault in the instruction before): the engine
    // calls a lone hook directly, even after it was asked to stop.
    if (m->event_ != MachineEvent::None) return;
    if (m->pending_) {
      if (address == m->curAddress_) return m->Repeated(uc, address);
      ++m->executed_;
      m->repeatAt_ = kNoAddress;  // the code may change before it repeats again
    }
    m->curAddress_ = address;
    if (m->executed_ < m->limit_ && m->Free(address)) {
      m->pending_ = true;
      return;
    }
    m->Arrive(uc, address);
  }

  // The hook comes to the instruction it came to last: see Restarted. The
  // engine restarts an instruction at most once (it runs it again alone,
  // and then does not restart it), and the restart may have rewritten it: the
  // next call straight after a restart is the instruction running again.
  [[gnu::noinline]] void Repeated(uc_engine* uc, uint64_t address) {
    const bool afterRestart = address == restartAt_ && executed_ == restartCount_;
    if (!afterRestart && Restarted(uc, address)) {
      restartAt_ = address;
      restartCount_ = executed_;
      repeatAt_ = kNoAddress;  // its bytes are read again
      return;
    }
    restartAt_ = kNoAddress;
    ++executed_;
    Arrive(uc, address);
  }

  // Before an instruction: the count, the code ranges, the breakpoints.
  [[gnu::noinline]] void Arrive(uc_engine* uc, uint64_t address) {
    pending_ = false;
    curAddress_ = address;
    if (executed_ >= limit_) {
      uc_emu_stop(uc);
      return;
    }
    if (!InCode(address)) {
      event_ = MachineEvent::OutsideCode;
      uc_emu_stop(uc);
      return;
    }
    if (address - bpBase_ < bpSpan_ && IsBreakpoint(address)) {
      if (address != passAt_) {
        event_ = MachineEvent::Breakpoint;
        uc_emu_stop(uc);
        return;
      }
      passAt_ = kNoAddress;
    }
    pending_ = true;
  }

  // A jump or return into unmapped memory: the run ends there. The
  // instruction before it, if any, completed: it is the one that jumped (or
  // ran on) there.
  static bool OnFetchFault(uc_engine* uc, uc_mem_type, uint64_t address, int, int64_t, void* self) {
    auto* m = static_cast<UnicornMachine*>(self);
    if (m->pending_ && m->event_ == MachineEvent::None) ++m->executed_;
    m->curIp_ = m->OffsetOf(uc, address);
    m->fetchFault_ = true;
    m->event_ = MachineEvent::OutsideCode;
    m->pending_ = false;
    return false;
  }

  // A read or write of memory that does not exist, or that may not be
  // written: the instruction stops there, not counted. The engine goes on
  // with an instruction whose access it makes in a helper (the x87 stores,
  // FNSTENV) rather than inline, and would count it and run into the next
  // one before it noticed.
  static bool OnDataFault(uc_engine* uc, uc_mem_type, uint64_t, int, int64_t, void* self) {
    auto* m = static_cast<UnicornMachine*>(self);
    if (m->event_ == MachineEvent::None) m->event_ = MachineEvent::MemoryFault;
    m->pending_ = false;
    uc_emu_stop(uc);
    return false;
  }

  // RDTSC and RDTSCP: the instructions executed before this one (the
  // engine's own counter follows the host's clock); RDTSCP's ECX is 0.
  static int OnTimeStamp(uc_engine* uc, void* self) {
    auto* m = static_cast<UnicornMachine*>(self);
    const uint64_t count = m->executedBefore_ + m->executed_;
    const uint64_t low = static_cast<uint32_t>(count), high = count >> 32;
    uc_reg_write(uc, UC_X86_REG_EAX, &low);
    uc_reg_write(uc, UC_X86_REG_EDX, &high);
    return 1;  // the engine's own value is not written
  }
  static int OnTimeStampAndAux(uc_engine* uc, void* self) {
    const uint64_t aux = 0;
    uc_reg_write(uc, UC_X86_REG_ECX, &aux);
    return OnTimeStamp(uc, self);
  }

  uint32_t OffsetOf(uc_engine* uc, uint64_t address) {
    if (bits_ != 16) return static_cast<uint32_t>(address);
    uint64_t cs = 0;
    uc_reg_read(uc, UC_X86_REG_CS, &cs);
    return static_cast<uint32_t>(address - (cs << 4));
  }

  static void OnInterrupt(uc_engine* uc, uint32_t intno, void* self) {
    auto* m = static_cast<UnicornMachine*>(self);
    m->vector_ = intno;
    // A software interrupt is the INT instruction that began at the current
    // instruction's start; anything else is a processor exception.
    uint8_t code[2] = {};
    uint32_t at = static_cast<uint32_t>(m->curAddress_);
    bool soft = false;
    // 16-bit code past its segment's end (see Run): the jump there has run,
    // the instruction there has not.
    const bool outside = intno == 13 && m->bits_ == 16 && m->OffsetOf(uc, at) > 0xFFFF;
    if (!outside && uc_mem_read(uc, at, code, 2) == UC_ERR_OK) {
      soft = (code[0] == 0xCD && code[1] == intno) || (code[0] == 0xCC && intno == 3) ||
             (code[0] == 0xCE && intno == 4) || (code[0] == 0xF1 && intno == 1);
    }
    if (outside) {
      m->event_ = MachineEvent::OutsideCode;
    } else if (soft) {
      m->event_ = MachineEvent::Interrupt;
      m->length_ = code[0] == 0xCD ? 2 : 1;
      if (m->pending_) ++m->executed_;
    } else {
      m->event_ = intno == 0                   ? MachineEvent::DivideError
                  : intno == 6                 ? MachineEvent::InvalidOpcode
                  : intno == 13 || intno == 12 ? MachineEvent::MemoryFault
                                               : MachineEvent::OtherFault;
    }
    m->pending_ = false;
    uc_emu_stop(uc);
  }

  static bool OnInvalid(uc_engine* uc, void* self) {
    auto* m = static_cast<UnicornMachine*>(self);
    m->event_ = MachineEvent::InvalidOpcode;
    m->vector_ = 6;
    m->pending_ = false;
    uc_emu_stop(uc);
    return true;
  }

  void Close() {
    if (context_ != nullptr) uc_context_free(context_);
    if (fresh_ != nullptr) uc_context_free(fresh_);
    context_ = nullptr;
    fresh_ = nullptr;
    if (uc_ != nullptr) uc_close(uc_);
    uc_ = nullptr;
  }

  uc_engine* uc_ = nullptr;
  uc_context* context_ = nullptr;  // for SaveState and RestoreState
  uc_context* fresh_ = nullptr;    // the processor as the engine opened (see StartOver)
  uint32_t bits_ = 16;
  std::vector<AddressRange> codeRanges_;
  std::vector<AddressRange> mapped_;
  uint32_t length_ = 0;  // of the interrupt or HLT instruction that ended the run
  MachineEvent event_ = MachineEvent::None;
  uint32_t vector_ = 0;
  uint64_t executed_ = 0;
  uint64_t executedBefore_ = 0;  // by the program before this run (SetExecuted)
  uint64_t limit_ = 1;
  bool pending_ = false;
  bool fetchFault_ = false;
  uint32_t curIp_ = 0;            // offset of the next (or failing) instruction
  uint64_t curAddress_ = 0;       // its linear address, as the last hook saw it
  AddressRange lastRange_{0, 0};  // the code range the last fetch was in
  struct Span {
    uint64_t base;
    uint64_t span;
  };
  Span free_[2] = {{0, 0}, {0, 0}};  // see Window
  // Breakpoints: [bpBase_, bpBase_ + bpSpan_) covers them all.
  std::vector<uint32_t> bpSorted_;
  std::vector<uint64_t> bpBits_;
  uint64_t bpBase_ = 0;
  uint64_t bpSpan_ = 0;
  bool resumeNext_ = false;
  uint64_t passAt_ = kNoAddress;     // this run's first instruction passes its breakpoint
  uint64_t repeatAt_ = kNoAddress;   // the last instruction Restarted looked at
  bool repeatLoops_ = false;         // whether it can lead back to itself
  uint64_t restartAt_ = kNoAddress;  // the instruction last taken for restarted
  uint64_t restartCount_ = 0;        // executed_ then
};

}  // namespace

std::unique_ptr<Machine> CreateUnicornMachine() {
  auto m = std::make_unique<UnicornMachine>();
  if (!m->Reset(16)) return nullptr;
  return m;
}

}  // namespace quorix
