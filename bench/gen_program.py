#!/usr/bin/env python3
"""Generate one large x86 program three times: in the Quorix dialect and in
the syntaxes of nasm and fasm.

    gen_program.py --lines N --bits 16|32 --out-dir DIR [--seed S]

writes DIR/prog.asm (the dialect, CR LF line ends), DIR/prog.nasm and
DIR/prog.fasm. All three files have the same number of lines and line k of
each file is the same instruction, so a difference in the outputs can be
traced back to one source line in all three.

Every line is chosen from forms that the three assemblers encode to the same
bytes, so the three flat images are expected to be byte-identical:

* jumps, conditional jumps and calls are always near (E9 / 0F 8x / E8 with a
  displacement of the code width): nasm and fasm get `near` spelled out;
* LOOP only reaches the nearest label above it (E2 rel8 stays in range);
* register-register forms are left out (the dialect always sets the
  direction bit: MOV AX,BX is 8B C3 where nasm and fasm write 89 D8);
* 16- and 32-bit ALU immediates lie outside -128..127, because fasm (and nasm
  without `strict`) would pick the sign-extended 83 form for small values,
  which the dialect never emits; nasm gets `strict` anyway;
* displacements are 1..7F (one byte), 80..7FFF / 80..FFFFF (full width) or a
  negative value below -80 (full width): the dialect gives every negative
  displacement the full width, and a zero displacement a byte, where the
  others drop it or use one byte;
* an operand never needs both the operand-size and the address-size prefix:
  the dialect writes 67 66 in two-operand forms and 66 67 in single-operand
  forms, nasm always 66 67 and fasm always 67 66;
* shift counts are 2..7 (a count of 1 has the shorter D0/D1 form elsewhere);
* [ESP] and [EBP] without displacement and SIB forms with EBP as base and no
  displacement are left out, as are SIB displacements above 7F (the dialect
  keeps one byte there).

Line 1 sets the origin (0x100), line 2 the code width; every fifth line is a
label L<k>. The generator knows the size of every form, so it can keep LOOP
in range and refuse a 16-bit program whose image would not fit in 64 KiB.
Statistics go to stderr.
"""

import argparse
import os
import random
import sys

ORIGIN = 0x100
SOURCE_LIMIT = 1_000_000  # bytes of source quorix-asm reads

REGS8 = ["AL", "CL", "DL", "BL", "AH", "CH", "DH", "BH"]
REGS32 = ["EAX", "ECX", "EDX", "EBX", "ESP", "EBP", "ESI", "EDI"]
# Registers that are written to: leave the stack pointer alone.
DST16 = ["AX", "CX", "DX", "BX", "BP", "SI", "DI"]
DST32 = ["EAX", "ECX", "EDX", "EBX", "EBP", "ESI", "EDI"]

ALU = ["ADD", "OR", "ADC", "AND", "SUB", "XOR", "CMP"]
SHIFTS = ["ROL", "ROR", "RCL", "RCR", "SHL", "SHR"]
CONDITIONS = ["JO", "JB", "JC", "JNAE", "JAE", "JNB", "JNC", "JE", "JZ", "JNE", "JNZ",
              "JBE", "JNA", "JA", "JNBE", "JS", "JP", "JPE", "JPO", "JL", "JNGE",
              "JGE", "JNL", "JLE", "JNG", "JG", "JNLE"]
SIZE_WORD = {8: "BYTE", 16: "WORD", 32: "DWORD"}
SIZE_MARK = {8: "B", 16: "W", 32: "D"}


class Line:
    """One source line in the three syntaxes and the bytes it produces."""

    __slots__ = ("asm", "nasm", "fasm", "size")

    def __init__(self, asm, nasm, fasm=None, size=0):
        self.asm = asm
        self.nasm = nasm
        self.fasm = nasm if fasm is None else fasm
        self.size = size


def dialect_number(value, rng):
    """A non-negative value as a dialect literal: bare hexadecimal or #decimal."""
    if rng.random() < 0.5:
        return "#%d" % value
    text = "%X" % value
    # A leading digit keeps the literal from looking like a name.
    return text if text[0].isdigit() else "0" + text


def plain_number(value):
    return "0x%x" % value


class Memory:
    """A memory reference: its text in each syntax, its address width and the
    bytes after the opcode (ModR/M, SIB, displacement)."""

    __slots__ = ("asm", "nasm", "addr_bits", "tail")

    def __init__(self, asm, nasm, addr_bits, tail):
        self.asm = asm
        self.nasm = nasm
        self.addr_bits = addr_bits
        self.tail = tail


def displacement(rng, addr_bits):
    """(dialect suffix, nasm suffix, bytes) of a displacement, possibly none."""
    roll = rng.random()
    if roll < 0.25:
        return "", "", 0
    if roll < 0.65:
        d = rng.randint(1, 0x7F)
        return "+" + dialect_number(d, rng), "+" + plain_number(d), 1
    width = 2 if addr_bits == 16 else 4
    if roll < 0.9:
        d = rng.randint(0x80, 0x7FFF if addr_bits == 16 else 0xFFFFF)
        return "+" + dialect_number(d, rng), "+" + plain_number(d), width
    d = rng.randint(0x81, 0x7FFF)
    # A negative displacement is written after '+' in the dialect.
    return "+-%X" % d, "-" + plain_number(d), width


def memory16(rng):
    base = rng.choice(["BX", "SI", "DI", "BP"])
    suffix_a, suffix_n, disp = displacement(rng, 16)
    if base == "BP" and disp == 0:
        disp = 1  # [BP] is encoded with a zero byte displacement everywhere
    return Memory("[%s%s]" % (base, suffix_a), "[%s%s]" % (base.lower(), suffix_n), 16, 1 + disp)


def memory32(rng):
    if rng.random() < 0.35:
        base = rng.choice(["EAX", "ECX", "EDX", "EBX", "ESP", "EBP", "ESI", "EDI"])
        index = rng.choice(["EAX", "ECX", "EDX", "EBX", "EBP", "ESI", "EDI"])
        scale = rng.choice([None, 1, 2, 4, 8])
        scaled_a = index + ("" if scale is None else "*%d" % scale)
        scaled_n = index.lower() + ("" if scale is None else "*%d" % scale)
        disp = 0
        suffix_a = suffix_n = ""
        if base == "EBP" or rng.random() < 0.6:
            d = rng.randint(1, 0x7F)
            disp = 1
            # The dialect reads the SIB displacement right after the '+'.
            suffix_a, suffix_n = "+" + dialect_number(d, rng), "+" + plain_number(d)
        return Memory("[%s+%s%s]" % (base, scaled_a, suffix_a),
                      "[%s+%s%s]" % (base.lower(), scaled_n, suffix_n), 32, 2 + disp)
    base = rng.choice(REGS32)
    suffix_a, suffix_n, disp = displacement(rng, 32)
    if base in ("ESP", "EBP") and disp == 0:
        d = rng.randint(1, 0x7F)
        suffix_a, suffix_n, disp = "+" + dialect_number(d, rng), "+" + plain_number(d), 1
    sib = 1 if base == "ESP" else 0
    return Memory("[%s%s]" % (base, suffix_a), "[%s%s]" % (base.lower(), suffix_n), 32,
                  1 + sib + disp)


def memory_single(rng, bits):
    """A memory operand the single-operand forms (INC, NOT, PUSH ...) take:
    [SI] or [DI] in 16-bit code, [reg32] or [reg32+d8] in 32-bit code."""
    if bits == 16:
        base = rng.choice(["SI", "DI"])
        return Memory("[%s]" % base, "[%s]" % base.lower(), 16, 1)
    base = rng.choice(REGS32)
    if base in ("ESP", "EBP") or rng.random() < 0.6:
        d = rng.randint(1, 0x7F)
        return Memory("[%s+%s]" % (base, dialect_number(d, rng)),
                      "[%s+%s]" % (base.lower(), plain_number(d)), 32,
                      2 + (1 if base == "ESP" else 0))
    return Memory("[%s]" % base, "[%s]" % base.lower(), 32, 1)


class Generator:
    def __init__(self, bits, rng):
        self.bits = bits
        self.rng = rng

    # -- helpers -------------------------------------------------------------
    def memory(self):
        native = memory16 if self.bits == 16 else memory32
        foreign = memory32 if self.bits == 16 else memory16
        return foreign(self.rng) if self.rng.random() < 0.15 else native(self.rng)

    def prefixes(self, op_bits, mem=None):
        n = 1 if op_bits != 8 and op_bits != self.bits else 0
        if mem is not None and mem.addr_bits != self.bits:
            n += 1
        return n

    def register(self, op_bits):
        """A register to write to (never SP or ESP)."""
        return self.rng.choice({8: REGS8, 16: DST16, 32: DST32}[op_bits])

    def operand_bits(self, mem=None):
        """Operand size for a form: mostly the code width, sometimes a byte or
        the other width, never a size that needs both 66 and 67."""
        roll = self.rng.random()
        if roll < 0.2:
            return 8
        if roll < 0.3 and (mem is None or mem.addr_bits == self.bits):
            return 48 - self.bits  # the other width
        if mem is not None and mem.addr_bits != self.bits:
            return 8 if self.rng.random() < 0.5 else self.bits
        return self.bits

    def wide_immediate(self, op_bits):
        top = 0x7FFF if op_bits == 16 else 0xFFFFFF
        return self.rng.randint(0x80, top)

    # -- instruction forms -----------------------------------------------------
    def reg_mem(self):
        mem = self.memory()
        op_bits = self.operand_bits(mem)
        reg = self.register(op_bits)
        mnem = self.rng.choice(ALU + ["MOV", "MOV", "MOV", "XCHG", "TEST"])
        size = self.prefixes(op_bits, mem) + 1 + mem.tail
        if self.rng.random() < 0.5 or mnem == "TEST":
            return Line("%s %s,%s" % (mnem, reg, mem.asm),
                        "%s %s,%s" % (mnem.lower(), reg.lower(), mem.nasm), size=size)
        return Line("%s %s,%s" % (mnem, mem.asm, reg),
                    "%s %s,%s" % (mnem.lower(), mem.nasm, reg.lower()), size=size)

    def reg_imm(self):
        op_bits = self.operand_bits()
        reg = self.register(op_bits)
        mnem = self.rng.choice(ALU + ALU + ["MOV", "MOV", "TEST"])
        acc = reg in ("AL", "AX", "EAX")
        width = op_bits // 8
        if op_bits == 8 or mnem in ("MOV", "TEST"):
            value = self.rng.randint(0, 0xFF if op_bits == 8 else 0x7FFF)
        else:
            value = self.wide_immediate(op_bits)
        # B0+r / B8+r and the accumulator forms have a one-byte opcode;
        # the others carry a ModR/M byte (80, 81, F6, F7 /digit).
        opcode = 1 if mnem == "MOV" or acc else 2
        size = self.prefixes(op_bits) + opcode + width
        strict = ""
        if mnem in ALU and op_bits != 8:
            strict = "strict %s " % SIZE_WORD[op_bits].lower()
        return Line("%s %s,%s" % (mnem, reg, dialect_number(value, self.rng)),
                    "%s %s,%s%s" % (mnem.lower(), reg.lower(), strict, plain_number(value)),
                    "%s %s,%s" % (mnem.lower(), reg.lower(), plain_number(value)), size=size)

    def mem_imm(self):
        mem = self.memory()
        op_bits = self.operand_bits(mem)
        mnem = self.rng.choice(["MOV", "MOV", "TEST"] + ALU)
        if op_bits == 8 or mnem in ("MOV", "TEST"):
            value = self.rng.randint(0, 0xFF if op_bits == 8 else 0x7FFF)
        else:
            value = self.wide_immediate(op_bits)
        size = self.prefixes(op_bits, mem) + 1 + mem.tail + op_bits // 8
        word = SIZE_WORD[op_bits].lower()
        strict = "strict %s " % word if mnem in ALU and op_bits != 8 else ""
        return Line("%s %s.%s,%s" % (mnem, SIZE_MARK[op_bits], mem.asm,
                                     dialect_number(value, self.rng)),
                    "%s %s %s,%s%s" % (mnem.lower(), word, mem.nasm, strict, plain_number(value)),
                    "%s %s %s,%s" % (mnem.lower(), word, mem.nasm, plain_number(value)),
                    size=size)

    def lea(self):
        mem = memory16(self.rng) if self.bits == 16 else memory32(self.rng)
        reg = self.register(self.bits)
        return Line("LEA %s,%s" % (reg, mem.asm), "lea %s,%s" % (reg.lower(), mem.nasm),
                    size=1 + mem.tail)

    def shift(self):
        op_bits = self.operand_bits()
        reg = self.register(op_bits)
        mnem = self.rng.choice(SHIFTS)
        count = self.rng.randint(2, 7)
        return Line("%s %s,%d" % (mnem, reg, count),
                    "%s %s,%d" % (mnem.lower(), reg.lower(), count),
                    size=self.prefixes(op_bits) + 3)

    def single_reg(self):
        op_bits = self.bits if self.rng.random() < 0.85 else 48 - self.bits
        mnem = self.rng.choice(["INC", "DEC", "PUSH", "POP", "NOT", "NEG", "MUL", "IMUL",
                                "DIV", "IDIV"])
        reg = self.register(op_bits)
        short = mnem in ("INC", "DEC", "PUSH", "POP")
        return Line("%s %s" % (mnem, reg), "%s %s" % (mnem.lower(), reg.lower()),
                    size=self.prefixes(op_bits) + (1 if short else 2))

    def single_mem(self):
        mem = memory_single(self.rng, self.bits)
        op_bits = self.bits
        if mem.addr_bits == self.bits and self.rng.random() < 0.2:
            op_bits = 48 - self.bits
        mnem = self.rng.choice(["INC", "DEC", "NOT", "NEG", "PUSH", "POP", "IMUL", "DIV",
                                "IDIV"])
        return Line("%s %s.%s" % (mnem, SIZE_MARK[op_bits], mem.asm),
                    "%s %s %s" % (mnem.lower(), SIZE_WORD[op_bits].lower(), mem.nasm),
                    size=self.prefixes(op_bits, mem) + 1 + mem.tail)

    def offset(self, label):
        reg = self.register(self.bits)
        return Line("MOV %s,OFFSET L%d" % (reg, label), "mov %s,L%d" % (reg.lower(), label),
                    size=1 + self.bits // 8)

    def jump(self, label):
        near = self.bits // 8
        roll = self.rng.random()
        if roll < 0.5:
            cond = self.rng.choice(CONDITIONS)
            return Line("%s L%d" % (cond, label), "%s near L%d" % (cond.lower(), label),
                        size=2 + near)
        if roll < 0.75:
            return Line("JMP L%d" % label, "jmp near L%d" % label, size=1 + near)
        return Line("CALL L%d" % label, "call L%d" % label, size=1 + near)

    def data(self):
        kind = self.rng.choice(["DB", "DB", "DW", "DD"])
        unit = {"DB": 1, "DW": 2, "DD": 4}[kind]
        count = self.rng.randint(1, {1: 8, 2: 5, 4: 3}[unit])
        top = {1: 0xFF, 2: 0xFFFF, 4: 0xFFFFFFFE}[unit]
        values = [self.rng.randint(0, top) for _ in range(count)]
        return Line("%s %s" % (kind, ",".join(dialect_number(v, self.rng) for v in values)),
                    "%s %s" % (kind.lower(), ",".join(plain_number(v) for v in values)),
                    size=unit * count)

    def fixed(self):
        if self.bits == 16:
            forms = [("NOP", 1), ("RET", 1), ("CLD", 1), ("STI", 1), ("PUSHA", 1),
                     ("POPA", 1), ("PUSHF", 1), ("STOSB", 1), ("LODSW", 1), ("MOVSD", 2)]
        else:
            forms = [("NOP", 1), ("RET", 1), ("CLD", 1), ("STI", 1), ("PUSHAD", 1),
                     ("POPAD", 1), ("PUSHFD", 1), ("STOSB", 1), ("LODSD", 1), ("MOVSW", 2)]
        name, size = self.rng.choice(forms)
        return Line(name, name.lower(), size=size)


def generate(lines, bits, seed):
    """The program as a list of Line objects, lines[0] being source line 1."""
    if lines < 5:
        raise ValueError("a program needs at least 5 lines")
    rng = random.Random(seed)
    gen = Generator(bits, rng)
    labels = lines // 5  # L1 on line 5, L2 on line 10, ...
    program = [
        Line("[ORG 100]", "org 0x100", "org 100h"),
        Line("[BITS #%d]" % bits, "bits %d" % bits, "use%d" % bits),
    ]
    # A weighted mix of the forms; each entry is (weight, callable).
    mix = [
        (18, lambda k: gen.reg_mem()),
        (12, lambda k: gen.reg_imm()),
        (8, lambda k: gen.mem_imm()),
        (3, lambda k: gen.lea()),
        (4, lambda k: gen.shift()),
        (6, lambda k: gen.single_reg()),
        (4, lambda k: gen.single_mem()),
        (6, lambda k: gen.offset(pick_label(k))),
        (20, lambda k: gen.jump(pick_label(k))),
        (3, lambda k: Line("LOOP L%d" % k, "loop L%d" % k, size=2) if k else gen.fixed()),
        (10, lambda k: gen.data()),
        (6, lambda k: gen.fixed()),
    ]
    weights = [w for w, _ in mix]

    def pick_label(current):
        # Half of the targets are close by, forward or backward.
        if rng.random() < 0.5:
            return max(1, min(labels, current + rng.randint(-8, 8) or 1))
        return rng.randint(1, labels)

    size = 0
    for n in range(3, lines + 1):
        if n % 5 == 0:
            program.append(Line("L%d:" % (n // 5), "L%d:" % (n // 5)))
            continue
        last_label = n // 5  # the nearest label above line n (0: none yet)
        form = rng.choices(mix, weights)[0][1]
        line = form(last_label)
        program.append(line)
        size += line.size
    return program, size, labels


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--lines", type=int, required=True, help="number of source lines")
    parser.add_argument("--bits", type=int, choices=(16, 32), required=True)
    parser.add_argument("--out-dir", required=True)
    parser.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    args = parser.parse_args(argv)

    try:
        program, size, labels = generate(args.lines, args.bits, args.seed)
    except ValueError as err:
        parser.error(str(err))
    if args.bits == 16 and ORIGIN + size > 0x10000:
        print("gen_program.py: a %d-line 16-bit program takes %d bytes, more than fits "
              "in 64 KiB above the origin; use fewer lines" % (args.lines, size),
              file=sys.stderr)
        return 2

    os.makedirs(args.out_dir, exist_ok=True)
    texts = {
        "prog.asm": "".join(line.asm + "\r\n" for line in program),
        "prog.nasm": "".join(line.nasm + "\n" for line in program),
        "prog.fasm": "".join(line.fasm + "\n" for line in program),
    }
    for name, text in texts.items():
        with open(os.path.join(args.out_dir, name), "w", newline="") as f:
            f.write(text)
    print("gen_program.py: %d lines, %d labels, %d-bit, image %d bytes; prog.asm %d bytes"
          % (len(program), labels, args.bits, size, len(texts["prog.asm"])), file=sys.stderr)
    if len(texts["prog.asm"]) > SOURCE_LIMIT:
        print("gen_program.py: warning: quorix-asm reads sources of at most %d bytes and "
              "will refuse this one" % SOURCE_LIMIT, file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
