#!/usr/bin/env python3
"""Random differential test of quorix-asm against nasm.

A seeded generator writes pairs of lines: one in Quorix's dialect and one for
nasm with the same meaning (sizes forced with strict/byte/word/dword). Both
sources are assembled, each line's bytes are found through the two listings,
and the lines are compared: equal bytes pass; otherwise both are decoded by
objdump and their normalised readings must agree. A line the dialect refuses
fails the run unless docs/dialect.md lists its form as refused.

usage: compare_nasm.py QUORIX_ASM DIALECT_MD [--seed N]... [--bits 16|32]... [--lines N]
"""
import argparse
import os
import random
import re
import subprocess
import sys
import tempfile

R8 = ["AL", "CL", "DL", "BL", "AH", "CH", "DH", "BH"]
R16 = ["AX", "CX", "DX", "BX", "SP", "BP", "SI", "DI"]
R32 = ["EAX", "ECX", "EDX", "EBX", "ESP", "EBP", "ESI", "EDI"]
SEGS = ["ES", "CS", "SS", "DS", "FS", "GS"]
SIZE_MARK = {0: "B.", 1: "W.", 2: "D."}
SIZE_NASM = {0: "byte", 1: "word", 2: "dword"}
BITS = {0: 8, 1: 16, 2: 32}


class Line:
    """One generated line: dialect text, nasm text, and, for a form the
    dialect is documented to refuse, the form's name in docs/dialect.md."""

    def __init__(self, dialect, nasm, refused=None, group=""):
        self.dialect = dialect
        self.nasm = nasm
        self.refused = refused
        self.group = group


def hexnum(v):
    return "%X" % v


class Gen:
    def __init__(self, seed, bits):
        self.r = random.Random(seed)
        self.bits = bits
        self.labels = 0      # labels defined so far
        self.pending = []    # lines to emit before the next generated one

    def pick(self, seq):
        return self.r.choice(seq)

    def imm(self, size):
        limit = {0: 0xFF, 1: 0xFFFF, 2: 0xFFFFFFFF}[size]
        v = self.r.choice([self.r.randint(0, 0x7F), self.r.randint(0, limit)])
        return v

    def reg(self, size):
        return self.pick({0: R8, 1: R16, 2: R32}[size])

    # ---- memory operands --------------------------------------------------
    def mem(self, allow_seg=True):
        """A memory operand: (dialect text, nasm text inside brackets)."""
        seg = self.pick(SEGS) if allow_seg and self.r.random() < 0.15 else None
        if self.r.random() < 0.5:
            d, n = self.mem16()
        else:
            d, n = self.mem32()
        dpre = seg + ":" if seg else ""
        npre = seg.lower() + ":" if seg else ""
        return dpre + "[" + d + "]", "[" + npre + n + "]"

    def disp(self, d, n, wide, sib):
        """Appends a displacement; returns (dialect, nasm)."""
        k = self.r.random()
        if k < 0.4:
            return d, n
        if k < 0.7:
            v = self.r.randint(1, 0x7F)
            return d + "+" + hexnum(v), n + "+0x%x" % v
        if k < 0.85:
            v = self.r.randint(1, 0x80)
            return d + "-" + hexnum(v), n + "-0x%x" % v
        v = self.r.randint(0x80, 0x7FFF if not wide else 0x7FFFFFFF)
        return d + "+" + hexnum(v), n + "+0x%x" % v

    def mem16(self):
        base = self.pick(["BX", "SI", "DI", "BP", "BX+SI", "BX+DI", "BP+SI", "BP+DI"])
        return self.disp(base, base.lower(), False, False)

    def mem32(self):
        base = self.pick(R32)
        if self.r.random() < 0.5:
            index = self.pick([r for r in R32 if r != "ESP"])
            scale = self.pick([1, 2, 4, 8])
            d = "%s+%s*%d" % (base, index, scale)
            n = "%s+%s*%d" % (base.lower(), index.lower(), scale)
            return self.disp(d, n, True, True)
        return self.disp(base, base.lower(), True, False)

    # ---- groups ------------------------------------------------------------
    def alu(self):
        op = self.pick(["ADD", "OR", "ADC", "SBB", "AND", "SUB", "XOR", "CMP", "MOV", "TEST", "XCHG"])
        size = self.pick([0, 1, 2])
        k = self.r.random()
        if k < 0.25:
            a, b = self.reg(size), self.reg(size)
            return Line("%s %s,%s" % (op, a, b), "%s %s,%s" % (op.lower(), a.lower(), b.lower()))
        if k < 0.45 and op != "XCHG":
            a = self.reg(size)
            v = self.imm(size)
            strict = "" if op == "MOV" else "strict %s " % SIZE_NASM[size]
            return Line("%s %s,%s" % (op, a, hexnum(v)),
                        "%s %s,%s0x%x" % (op.lower(), a.lower(), strict, v))
        if k < 0.7:
            a = self.reg(size)
            d, n = self.mem()
            if self.r.random() < 0.5 or op == "TEST":
                if op == "TEST":  # the dialect's TEST reads reg,mem; nasm wants mem,reg
                    return Line("%s %s,%s" % (op, a, d), "test %s %s,%s" % (SIZE_NASM[size], n, a.lower()))
                return Line("%s %s,%s" % (op, a, d), "%s %s,%s %s" % (op.lower(), a.lower(), SIZE_NASM[size], n))
            return Line("%s %s,%s" % (op, d, a), "%s %s %s,%s" % (op.lower(), SIZE_NASM[size], n, a.lower()))
        if op == "XCHG":
            return self.alu()
        d, n = self.mem()
        v = self.imm(size)
        return Line("%s %s%s,%s" % (op, SIZE_MARK[size], d, hexnum(v)),
                    "%s %s %s,strict %s 0x%x" % (op.lower(), SIZE_NASM[size], n, SIZE_NASM[size], v))

    def address_of(self):
        """The address of a label as an immediate (ALAMAT, ALMT, OFFSET)."""
        size = self.pick([1, 2])
        a = self.reg(size)
        target = self.r.randint(max(0, self.labels - 3), self.labels)
        kw = self.pick(["ALAMAT", "ALMT", "OFFSET"])
        op = self.pick(["MOV", "ADD", "CMP"])
        strict = "" if op == "MOV" else "strict %s " % SIZE_NASM[size]
        return Line("%s %s,%s L%d" % (op, a, kw, target),
                    "%s %s,%sL%d" % (op.lower(), a.lower(), strict, target))

    def lea(self):
        size = self.pick([1, 2])
        a = self.reg(size)
        d, n = self.mem(allow_seg=False)
        return Line("LEA %s,%s" % (a, d), "lea %s,%s" % (a.lower(), n))

    def single(self):
        op = self.pick(["INC", "DEC", "NOT", "NEG", "MUL", "IMUL", "DIV", "IDIV", "PUSH", "POP"])
        stack = op in ("PUSH", "POP")
        size = self.pick([1, 2] if stack else [0, 1, 2])
        if self.r.random() < 0.5:
            a = self.reg(size)
            return Line("%s %s" % (op, a), "%s %s" % (op.lower(), a.lower()))
        d, n = self.mem()
        return Line("%s %s%s" % (op, SIZE_MARK[size], d), "%s %s %s" % (op.lower(), SIZE_NASM[size], n))

    def push_imm(self):
        size = self.pick([0, 1, 2])
        v = self.imm(size)
        if size == 0:
            v &= 0x7F
            return Line("PUSH B.%s" % hexnum(v), "push strict byte 0x%x" % v)
        return Line("PUSH %s%s" % (SIZE_MARK[size], hexnum(v)),
                    "push strict %s 0x%x" % (SIZE_NASM[size], v))

    def shift(self):
        op = self.pick(["ROL", "ROR", "RCL", "RCR", "SHL", "SHR", "SAL", "SAR"])
        size = self.pick([0, 1, 2])
        count_cl = self.r.random() < 0.4
        count = self.r.randint(0, 0x1F)
        dc, nc = ("CL", "cl") if count_cl else (hexnum(count), "0x%x" % count)
        if self.r.random() < 0.6:
            a = self.reg(size)
            return Line("%s %s,%s" % (op, a, dc), "%s %s,%s" % (op.lower(), a.lower(), nc))
        d, n = self.mem()
        return Line("%s %s%s,%s" % (op, SIZE_MARK[size], d, dc),
                    "%s %s %s,%s" % (op.lower(), SIZE_NASM[size], n, nc))

    def bits_test(self):
        op = self.pick(["BTS", "BTR", "BT", "BTC"])
        size = self.pick([1, 2])
        a = self.reg(size)
        if self.r.random() < 0.4:  # a bit base in memory
            d, n = self.mem()
            if self.r.random() < 0.5:
                b = self.reg(size)
                return Line("%s %s,%s" % (op, d, b), "%s %s %s,%s" % (op.lower(), SIZE_NASM[size], n, b.lower()))
            v = self.r.randint(0, 0x1F)
            return Line("%s %s%s,%s" % (op, SIZE_MARK[size], d, hexnum(v)),
                        "%s %s %s,0x%x" % (op.lower(), SIZE_NASM[size], n, v))
        if self.r.random() < 0.5:
            b = self.reg(size)
            return Line("%s %s,%s" % (op, a, b), "%s %s,%s" % (op.lower(), a.lower(), b.lower()))
        v = self.r.randint(0, 0x1F)
        return Line("%s %s,%s" % (op, a, hexnum(v)), "%s %s,0x%x" % (op.lower(), a.lower(), v))

    FIXED = [("NOP", "nop"), ("HLT", "hlt"), ("CLD", "cld"), ("CLI", "cli"), ("STI", "sti"),
             ("STC", "stc"), ("SAHF", "sahf"), ("LEAVE", "leave"), ("AAA", "aaa"), ("AAS", "aas"),
             ("DAA", "daa"), ("DAS", "das"), ("PUSHA", "pushaw"), ("POPA", "popaw"),
             ("PUSHF", "pushfw"), ("POPF", "popfw"), ("PUSHAD", "pushad"), ("POPAD", "popad"),
             ("PUSHFD", "pushfd"), ("POPFD", "popfd"), ("EMMS", "emms"), ("RDTSC", "rdtsc"),
             ("RDMSR", "rdmsr"), ("RDPMC", "rdpmc"), ("AAD", "aad"), ("AAM", "aam"),
             ("MOVSB", "movsb"), ("MOVSW", "movsw"), ("MOVSD", "movsd"), ("CMPSB", "cmpsb"),
             ("STOSB", "stosb"), ("STOSW", "stosw"), ("STOSD", "stosd"), ("LODSB", "lodsb"),
             ("LODSW", "lodsw"), ("LODSD", "lodsd"), ("FWAIT", "fwait"),
             ("CLC", "clc"), ("CMC", "cmc"), ("STD", "std"), ("CBW", "cbw"), ("CWD", "cwd"),
             ("CWDE", "cwde"), ("CDQ", "cdq"), ("LAHF", "lahf"), ("IRET", "iretw"),
             ("IRETD", "iretd"), ("INT3", "int3"), ("INTO", "into"), ("WAIT", "wait"),
             ("XLAT", "xlatb"), ("XLATB", "xlatb"), ("CPUID", "cpuid"), ("SCASB", "scasb"),
             ("SCASW", "scasw"), ("SCASD", "scasd"), ("CMPSW", "cmpsw"), ("CMPSD", "cmpsd"),
             ("INSB", "insb"), ("INSW", "insw"), ("INSD", "insd"), ("OUTSB", "outsb"),
             ("OUTSW", "outsw"), ("OUTSD", "outsd")]

    def fixed(self):
        if self.r.random() < 0.2:
            op = self.pick(["AAD", "AAM"])
            v = self.r.randint(0, 0xFF)
            return Line("%s %s" % (op, hexnum(v)), "%s 0x%x" % (op.lower(), v))
        d, n = self.pick(self.FIXED)
        return Line(d, n)

    def string(self):
        rep = self.pick([("REP", "rep"), ("REPE", "repe"), ("REPNE", "repne"), ("REPNZ", "repnz")])
        ins = self.pick(["MOVS", "CMPS", "STOS", "LODS", "SCAS", "OUTS"])
        size = self.pick("BWD")
        nsize = {"B": "b", "W": "w", "D": "d"}[size]
        nrep = rep[1]
        if ins in ("CMPS", "SCAS") and rep[0] == "REP":
            nrep = "repe"
        return Line("%s %s%s" % (rep[0], ins, size), "%s %s%s" % (nrep, ins.lower(), nsize))

    def imul(self):
        """IMUL with two and three operands (0F AF, 69 with a full immediate)."""
        size = self.pick([1, 2])
        a = self.reg(size)
        v = self.imm(size)
        k = self.r.randint(0, 4)
        if k == 0:
            b = self.reg(size)
            return Line("IMUL %s,%s" % (a, b), "imul %s,%s" % (a.lower(), b.lower()))
        if k == 1:
            d, n = self.mem()
            mark = self.pick(["", SIZE_MARK[size]])
            return Line("IMUL %s,%s%s" % (a, mark, d), "imul %s,%s %s" % (a.lower(), SIZE_NASM[size], n))
        if k == 2:
            return Line("IMUL %s,%s" % (a, hexnum(v)),
                        "imul %s,strict %s 0x%x" % (a.lower(), SIZE_NASM[size], v))
        if k == 3:
            b = self.reg(size)
            return Line("IMUL %s,%s,%s" % (a, b, hexnum(v)),
                        "imul %s,%s,strict %s 0x%x" % (a.lower(), b.lower(), SIZE_NASM[size], v))
        d, n = self.mem()
        return Line("IMUL %s,%s,%s" % (a, d, hexnum(v)),
                    "imul %s,%s %s,strict %s 0x%x" % (a.lower(), SIZE_NASM[size], n, SIZE_NASM[size], v))

    CC = ["O", "NO", "B", "C", "NAE", "AE", "NB", "NC", "E", "Z", "NE", "NZ", "BE", "NA", "A",
          "NBE", "S", "NS", "P", "PE", "NP", "PO", "L", "NGE", "GE", "NL", "LE", "NG", "G", "NLE"]

    def register_memory(self):
        """MOVZX, MOVSX, BSF, BSR, CMOVcc, SETcc, XADD, CMPXCHG, LDS, LES, BOUND."""
        k = self.r.randint(0, 5)
        size = self.pick([1, 2])
        a = self.reg(size)
        if k == 0:
            op = self.pick(["MOVZX", "MOVSX"])
            src = self.pick([0, 1]) if size == 2 else 0
            if self.r.random() < 0.5:
                b = self.reg(src)
                return Line("%s %s,%s" % (op, a, b), "%s %s,%s" % (op.lower(), a.lower(), b.lower()))
            d, n = self.mem()
            return Line("%s %s,%s%s" % (op, a, SIZE_MARK[src], d),
                        "%s %s,%s %s" % (op.lower(), a.lower(), SIZE_NASM[src], n))
        if k == 1:
            op = self.pick(["BSF", "BSR", "CMOV" + self.pick(self.CC)])
            if self.r.random() < 0.5:
                b = self.reg(size)
                return Line("%s %s,%s" % (op, a, b), "%s %s,%s" % (op.lower(), a.lower(), b.lower()))
            d, n = self.mem()
            return Line("%s %s,%s" % (op, a, d), "%s %s,%s %s" % (op.lower(), a.lower(), SIZE_NASM[size], n))
        if k == 2:
            op = "SET" + self.pick(self.CC)
            if self.r.random() < 0.5:
                b = self.reg(0)
                return Line("%s %s" % (op, b), "%s %s" % (op.lower(), b.lower()))
            d, n = self.mem()
            return Line("%s %s%s" % (op, self.pick(["", "B."]), d), "%s byte %s" % (op.lower(), n))
        if k == 3:
            op = self.pick(["XADD", "CMPXCHG"])
            size = self.pick([0, 1, 2])
            b = self.reg(size)
            if self.r.random() < 0.5:
                c = self.reg(size)
                return Line("%s %s,%s" % (op, c, b), "%s %s,%s" % (op.lower(), c.lower(), b.lower()))
            d, n = self.mem()
            return Line("%s %s,%s" % (op, d, b), "%s %s %s,%s" % (op.lower(), SIZE_NASM[size], n, b.lower()))
        if k == 4:
            op = self.pick(["LDS", "LES", "BOUND"])
            d, n = self.mem()
            return Line("%s %s,%s" % (op, a, d), "%s %s,%s" % (op.lower(), a.lower(), n))
        # LOCK before an instruction that changes memory
        op = self.pick(["ADD", "ADC", "SBB", "AND", "OR", "SUB", "XOR", "XCHG", "XADD", "CMPXCHG",
                        "BTS", "BTR", "BTC", "INC", "DEC", "NEG", "NOT"])
        d, n = self.mem()
        if op in ("INC", "DEC", "NEG", "NOT"):
            return Line("LOCK %s %s%s" % (op, SIZE_MARK[size], d), "lock %s %s %s" % (op.lower(), SIZE_NASM[size], n))
        return Line("LOCK %s %s,%s" % (op, d, a), "lock %s %s %s,%s" % (op.lower(), SIZE_NASM[size], n, a.lower()))

    def inout(self):
        acc = self.pick(["AL", "AX", "EAX"])
        if self.r.random() < 0.5:
            p = self.r.randint(0, 0xFF)
            if self.r.random() < 0.5:
                return Line("IN %s,P%s" % (acc, hexnum(p)), "in %s,0x%x" % (acc.lower(), p))
            return Line("OUT P%s,%s" % (hexnum(p), acc), "out 0x%x,%s" % (p, acc.lower()))
        if self.r.random() < 0.5:
            return Line("IN %s,DX" % acc, "in %s,dx" % acc.lower())
        return Line("OUT DX,%s" % acc, "out dx,%s" % acc.lower())

    def control(self):
        k = self.r.randint(0, 6)
        if k == 0:
            v = self.r.randint(0, 0xFF)
            return Line("INT %s" % hexnum(v), "int 0x%x" % v)
        if k == 1:
            return Line("RET", "ret")
        if k == 2:
            v = self.r.randint(0, 0xFFFF)
            return Line("RET %s" % hexnum(v), "ret 0x%x" % v)
        if k == 3:
            v = self.r.randint(0, 0xFFFF)
            return Line("RETN %s" % hexnum(v), "ret 0x%x" % v)
        if k == 4:
            return Line("RETF", "retf")
        if k == 5:
            v = self.r.randint(0, 0xFFFF)
            return Line("RETF %s" % hexnum(v), "retf 0x%x" % v)
        a, b = self.r.randint(0, 0xFFFF), self.r.randint(0, 0xFF)
        return Line("ENTER %s,%s" % (hexnum(a), hexnum(b)), "enter 0x%x,0x%x" % (a, b))

    def segment(self):
        k = self.r.randint(0, 5)
        s = self.pick(SEGS)
        if k == 0 and s != "CS":
            a = self.reg(self.pick([1, 2]))
            return Line("MOV %s,%s" % (s, a), "mov %s,%s" % (s.lower(), a.lower()))
        if k == 1:
            a = self.reg(self.pick([1, 2]))
            return Line("MOV %s,%s" % (a, s), "mov %s,%s" % (a.lower(), s.lower()))
        if k == 2:
            return Line("PUSH %s" % s, "push %s" % s.lower())
        if k == 3 and s != "CS":
            return Line("POP %s" % s, "pop %s" % s.lower())
        if k == 4:
            c = self.pick(["CR0", "CR2", "CR3", "CR4"])
            a = self.pick(R32)
            if self.r.random() < 0.5:
                return Line("MOV %s,%s" % (c, a), "mov %s,%s" % (c.lower(), a.lower()))
            return Line("MOV %s,%s" % (a, c), "mov %s,%s" % (a.lower(), c.lower()))
        d, n = self.mem(allow_seg=False)
        if s == "CS" or self.r.random() < 0.5:
            return Line("MOV %s,%s" % (d, s), "mov word %s,%s" % (n, s.lower()))
        return Line("MOV %s,%s" % (s, d), "mov %s,word %s" % (s.lower(), n))

    def x87(self):
        k = self.r.randint(0, 9)
        i = self.r.randint(0, 7)
        if k == 0:
            d, n = self.pick([("F2XM1", "f2xm1"), ("FABS", "fabs"), ("FCHS", "fchs"),
                              ("FCOS", "fcos"), ("FDECSTP", "fdecstp"), ("FINCSTP", "fincstp"),
                              ("FNINIT", "fninit"), ("FNCLEX", "fnclex"), ("FLDPI", "fldpi"),
                              ("FLDZ", "fldz"), ("FLD1", "fld1"), ("FNOP", "fnop"),
                              ("FPATAN", "fpatan"), ("FPTAN", "fptan"), ("FRNDINT", "frndint"),
                              ("FSCALE", "fscale"), ("FSQRT", "fsqrt"), ("FTST", "ftst"),
                              ("FXAM", "fxam"), ("FXTRACT", "fxtract"), ("FPREM", "fprem"),
                              ("FPREM1", "fprem1"), ("FSIN", "fsin"), ("FSINCOS", "fsincos"),
                              ("FYL2X", "fyl2x"), ("FYL2XP1", "fyl2xp1"), ("FLDL2E", "fldl2e"),
                              ("FLDL2T", "fldl2t"), ("FLDLG2", "fldlg2"), ("FLDLN2", "fldln2"),
                              ("FCOMPP", "fcompp"), ("FUCOMPP", "fucompp")])
            return Line(d, n)
        if k == 1:
            op = self.pick(["FLD", "FST", "FSTP", "FXCH", "FFREE", "FUCOM", "FCOM", "FCOMP", "FUCOMP"])
            return Line("%s ST(%d)" % (op, i), "%s st%d" % (op.lower(), i))
        if k == 2:
            op = self.pick(["FADD", "FMUL", "FSUB", "FSUBR", "FDIV", "FDIVR"])
            if self.r.random() < 0.5:
                return Line("%s ST,ST(%d)" % (op, i), "%s st0,st%d" % (op.lower(), i))
            return Line("%s ST(%d),ST" % (op, i), "%s st%d,st0" % (op.lower(), i))
        if k == 3:
            op = self.pick(["FADDP", "FDIVP", "FMULP", "FSUBP", "FSUBRP", "FDIVRP"])
            return Line("%s ST(%d),ST" % (op, i), "%s st%d,st0" % (op.lower(), i))
        if k == 4:
            return Line("FCOMI ST,ST(%d)" % i, "fcomi st0,st%d" % i)
        d, n = self.mem()
        if k == 5:
            op = self.pick(["FLD", "FST", "FSTP", "FADD", "FMUL", "FCOM", "FCOMP", "FSUB", "FSUBR",
                            "FDIV", "FDIVR"])
            if op in ("FLD", "FSTP") and self.r.random() < 0.5:
                return Line("%s FW.%s" % (op, d), "%s qword %s" % (op.lower(), n))
            return Line("%s %s" % (op, d), "%s dword %s" % (op.lower(), n))
        if k == 6:
            op = self.pick(["FILD", "FIST", "FISTP", "FIADD", "FIMUL", "FISUB", "FIDIV", "FIDIVR",
                            "FICOMP"])
            if op in ("FILD", "FISTP") and self.r.random() < 0.5:
                return Line("%s FW.%s" % (op, d), "%s qword %s" % (op.lower(), n))
            return Line("%s %s" % (op, d), "%s dword %s" % (op.lower(), n))
        if k == 7:
            d2, n2 = self.pick([("FSTCW", "fnstcw word"), ("FSTSW", "fnstsw word"),
                                ("FICOM", "ficom word"), ("FBLD", "fbld tword"),
                                ("FBSTP", "fbstp tword"), ("FRSTOR", "frstor"),
                                ("FSAVE", "fnsave"), ("FNSAVE", "fnsave")])
            return Line("%s %s" % (d2, d), "%s %s" % (n2, n))
        return Line("FWAIT", "fwait")

    def mmx(self):
        a, b = "MM%d" % self.r.randint(0, 7), "MM%d" % self.r.randint(0, 7)
        k = self.r.randint(0, 4)
        op = self.pick(["MOVQ", "PACKSSWB", "PACKSSDW", "PACKUSWB", "PADDUSB", "PADDUSW"])
        if k == 0:
            return Line("%s %s,%s" % (op, a, b), "%s %s,%s" % (op.lower(), a.lower(), b.lower()))
        if k == 1:
            d, n = self.mem()
            return Line("%s %s,%s" % (op, a, d), "%s %s,qword %s" % (op.lower(), a.lower(), n))
        if k == 2:
            d, n = self.mem()
            return Line("MOVQ %s,%s" % (d, a), "movq qword %s,%s" % (n, a.lower()))
        r = self.pick(R32)
        if k == 3:
            if self.r.random() < 0.5:
                return Line("MOVD %s,%s" % (a, r), "movd %s,%s" % (a.lower(), r.lower()))
            return Line("MOVD %s,%s" % (r, a), "movd %s,%s" % (r.lower(), a.lower()))
        d, n = self.mem()
        if self.r.random() < 0.5:
            return Line("MOVD %s,%s" % (a, d), "movd %s,dword %s" % (a.lower(), n))
        return Line("MOVD %s,%s" % (d, a), "movd dword %s,%s" % (n, a.lower()))

    CONDS = ["JO", "JNO", "JB", "JC", "JNAE", "JAE", "JNB", "JNC", "JE", "JZ", "JNE", "JNZ", "JBE",
             "JNA", "JA", "JNBE", "JS", "JNS", "JP", "JPE", "JNP", "JPO", "JL", "JNGE", "JGE",
             "JNL", "JLE", "JNG", "JG", "JNLE"]

    def jump(self):
        k = self.r.randint(0, 9)
        if k <= 2 and self.labels:
            # to a defined label (backward) or to the next one (forward)
            target = self.r.randint(max(0, self.labels - 3), self.labels)
            name = "L%d" % target
            op = self.pick(["JMP", "CALL"] + self.CONDS)
            if op in ("JMP", "CALL"):
                return Line("%s %s" % (op, name), "%s near %s" % (op.lower(), name))
            return Line("%s %s" % (op, name), "%s near %s" % (op.lower(), name))
        if k == 3 and self.labels:
            op = self.pick(["LOOP", "LOOPE", "LOOPZ", "LOOPNE", "LOOPNZ", "JCXZ", "JECXZ"])
            return Line("%s L%d" % (op, self.labels - 1), "%s L%d" % (op.lower(), self.labels - 1))
        if k == 4:
            # short form with an explicit displacement over one-byte lines
            n = self.r.randint(0, 3)
            op = self.pick(["JMP"] + self.CONDS)
            self.pending = [Line("NOP", "nop") for _ in range(n)]
            return Line("%s $%d" % (op, n), "%s short $+%d" % (op.lower(), 2 + n))
        if k == 5:
            a = self.r.randint(0, 0xFFFF)
            b = self.r.randint(0, 0xFFFF)
            op = self.pick(["JMP", "CALL"])
            return Line("%s %s:%s" % (op, hexnum(a), hexnum(b)), "%s 0x%x:0x%x" % (op.lower(), a, b))
        if k == 6:
            op = self.pick(["JMP", "CALL"])
            size = self.pick([1, 2])
            r = self.reg(size)
            return Line("%s %s" % (op, r), "%s %s" % (op.lower(), r.lower()))
        if k == 7:
            op = self.pick(["JMP", "CALL"])
            d, n = self.mem()
            w = "word" if self.bits == 16 else "dword"
            if self.r.random() < 0.3:
                return Line("%s F.%s" % (op, d), "%s far %s" % (op.lower(), n))
            return Line("%s %s" % (op, d), "%s %s %s" % (op.lower(), w, n))
        if k == 8:
            op = self.pick(["JMP", "CALL"] + self.CONDS)
            near = "near " if op != "LOOP" else ""
            return Line("%s @@" % op, "%s %sAT%d" % (op.lower(), near, self.labels))
        return Line("NOP", "nop")

    def label_lines(self):
        """A named label, then an anonymous one."""
        self.labels += 1
        return [Line("L%d:" % (self.labels - 1), "L%d:" % (self.labels - 1), group="label"),
                Line("@@", "AT%d:" % self.labels, group="label")]

    def refused(self):
        """Forms nasm accepts and the dialect documents as refused."""
        v = self.r.randint(0, 0x7FFF)
        size = self.pick([1, 2])
        a = self.reg(size)
        return Line("MOV %s,[%s]" % (a, hexnum(v)), "mov %s,[0x%x]" % (a.lower(), v), "[n]")

    def line(self):
        groups = [("alu", self.alu, 20), ("lea", self.lea, 3), ("address", self.address_of, 1), ("single", self.single, 10),
                  ("push", self.push_imm, 2), ("shift", self.shift, 6), ("bits", self.bits_test, 2),
                  ("fixed", self.fixed, 6), ("string", self.string, 3), ("io", self.inout, 3),
                  ("control", self.control, 3), ("segment", self.segment, 4), ("x87", self.x87, 8),
                  ("mmx", self.mmx, 5), ("jump", self.jump, 8), ("imul", self.imul, 3),
                  ("regmem", self.register_memory, 5),
                  ("refused", self.refused, 0.2)]
        total = sum(w for _, _, w in groups)
        x = self.r.uniform(0, total)
        for name, f, w in groups:
            x -= w
            if x <= 0:
                l = f()
                l.group = name
                return l
        return Line("NOP", "nop", group="fixed")

    def program(self, count):
        lines = [Line("NOP", "nop", group="start")]  # no label at address 0
        lines += self.label_lines()
        produced = 0
        while produced < count:
            if produced % 8 == 0:
                lines += self.label_lines()
            l = self.line()
            lines.append(l)
            produced += 1
            for p in self.pending:
                p.group = "pad"
                lines.append(p)
            self.pending = []
        lines += self.label_lines()  # the forward targets of the last jumps
        return lines


# ---- assembling and reading back ------------------------------------------------

def run(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw)


def assemble_dialect(qasm, lines, bits, work):
    """Assembles; lines the dialect refuses are taken out (replaced by a
    comment) and remembered. Returns (per-line (offset, count), bytes, refused)."""
    refused = set()
    while True:
        src = []
        if bits == 32:
            src.append("[BITS #32]")
        for i, l in enumerate(lines):
            src.append("; refused" if i in refused else l.dialect)
        path = os.path.join(work, "d.asm")
        with open(path, "w", newline="") as f:
            f.write("\r\n".join(src) + "\r\n")
        out = os.path.join(work, "d.com")
        p = run([qasm, path, "-o", out, "--listing"])
        if p.returncode == 1:
            m = re.search(r"Error at Line: (\d+)", p.stderr)
            if not m:
                raise SystemExit("quorix-asm failed: " + p.stderr)
            n = int(m.group(1)) - (2 if bits == 32 else 1)
            if n < 0 or n in refused:
                raise SystemExit("quorix-asm refused a directive: " + p.stderr)
            refused.add(n)
            continue
        if p.returncode != 0:
            raise SystemExit("quorix-asm: " + p.stderr)
        rec = {}
        for row in p.stdout.splitlines():
            f = row.split()
            if len(f) >= 3 and f[0].isdigit():
                rec[int(f[0])] = (int(f[2], 16), int(f[1]))
        first = 2 if bits == 32 else 1
        per = [rec.get(first + i, (0, 0)) for i in range(len(lines))]
        with open(out, "rb") as f:
            data = f.read()
        return per, data, refused


def assemble_nasm(lines, bits, refused, work):
    src = ["bits %d" % bits]
    for i, l in enumerate(lines):
        src.append("; refused" if i in refused else l.nasm)
    path = os.path.join(work, "n.asm")
    with open(path, "w") as f:
        f.write("\n".join(src) + "\n")
    out, lst = os.path.join(work, "n.bin"), os.path.join(work, "n.lst")
    p = run(["nasm", "-O0", "-f", "bin", "-w-all", "-l", lst, path, "-o", out])
    if p.returncode != 0:
        raise SystemExit("nasm failed:\n" + p.stderr[:3000])
    starts, counts = {}, {}
    for row in open(lst):
        # Values that depend on labels are shown in brackets: [0801].
        m = re.match(r"\s*(\d+) ([0-9A-F]{8}) ([0-9A-F\[\]()]+)", row)
        if not m:
            continue
        n, addr = int(m.group(1)), int(m.group(2), 16)
        hx = re.sub(r"[^0-9A-F]", "", m.group(3))
        starts.setdefault(n, addr)
        counts[n] = counts.get(n, 0) + len(hx) // 2
    per = []
    for i in range(len(lines)):
        n = i + 2
        per.append((starts.get(n, 0), counts.get(n, 0)))
    with open(out, "rb") as f:
        data = f.read()
    return per, data


def disassemble(data, bits, work, name, base=0):
    path = os.path.join(work, name)
    with open(path, "wb") as f:
        f.write(data)
    p = run(["objdump", "-D", "-b", "binary", "-m", "i386" if bits == 32 else "i8086", "-M",
             "intel", "--adjust-vma=%d" % base, path])
    ins = {}
    for row in p.stdout.splitlines():
        m = re.match(r"\s*([0-9a-f]+):\t[0-9a-f ]+\t(.*)$", row)
        if m:
            ins[int(m.group(1), 16)] = " ".join(m.group(2).split())
    return ins


BRANCH = re.compile(r"^(j[a-z]+|call|loop[a-z]*|jmp)( (?:WORD PTR |DWORD PTR )?)?(0x[0-9a-f]+)$")


def normalise(text, where):
    """objdump's reading with the choices that do not change meaning removed."""
    text = re.sub(r"\+0x0\]", "]", text)
    text = re.sub(r"\*1\]", "]", text)
    text = re.sub(r"\*1\+", "+", text)
    m = re.match(r"^(ro[lr]|rc[lr]|sh[lr]|sa[lr]) (.*),1$", text)
    if m:
        text = "%s %s,0x1" % (m.group(1), m.group(2))
    m = BRANCH.match(text)
    if m:
        text = "%s %s" % (m.group(1), where(int(m.group(3), 16)))
    m = re.match(r"^(xchg|test) ([a-z0-9]+),([a-z0-9]+)$", text)
    if m:
        a, b = sorted([m.group(2), m.group(3)])
        text = "%s %s,%s" % (m.group(1), a, b)
    # A segment register moved from a 32-bit register reads only its low half.
    text = re.sub(r"^mov ([cdefgs]s),e([a-z]{2})$", r"mov \1,\2", text)
    return text


def reading(ins, start, count, where, data=None, bits=16, work=None, address=False):
    if start not in ins and data is not None:
        # The whole-file decoding ran across this line's start (a lone FWAIT
        # joins the next instruction): decode the line by itself.
        ins = disassemble(data[start:start + count], bits, work, "one.bin", start)
    out, at = [], start
    while at < start + count:
        if at not in ins:
            return None
        text = normalise(ins[at], where)
        if address:  # the immediate is a label's address: name it by its line
            text = re.sub(r"0x([0-9a-f]+)$", lambda m: where(int(m.group(1), 16)), text)
        out.append(text)
        # the next instruction starts at the next known offset
        nxt = [o for o in range(at + 1, start + count + 16) if o in ins]
        if not nxt:
            break
        at = nxt[0]
    return ";".join(out)


def locator(per):
    """Maps an address to "line N" or "line N+k" through the line starts."""
    starts = sorted((s, i) for i, (s, c) in enumerate(per) if c > 0)

    def where(addr):
        best = None
        for s, i in starts:
            if s <= addr:
                best = (s, i)
            else:
                break
        if best is None:
            return "@0x%x" % addr
        return "line%d+%d" % (best[1], addr - best[0])

    # Labels and other lines without bytes share the address of the next line.
    return where


def refused_forms(doc):
    text = open(doc).read()
    m = re.search(r"^## Refused forms\n(.*?)(^## |\Z)", text, re.S | re.M)
    return set(re.findall(r"^- `([^`]+)`", m.group(1), re.M)) if m else set()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("qasm")
    ap.add_argument("doc")
    ap.add_argument("--seed", type=int, action="append")
    ap.add_argument("--bits", type=int, action="append")
    ap.add_argument("--lines", type=int, default=2500)
    ap.add_argument("--show", type=int, default=20)
    ap.add_argument("--examples", action="store_true")
    a = ap.parse_args()
    seeds = a.seed or [1]
    bitses = a.bits or [16, 32]
    documented = refused_forms(a.doc)
    compared = equal = meaning = 0
    byte_only = {}
    examples = {}
    refusals = {}
    failures = []
    with tempfile.TemporaryDirectory() as work:
        for seed in seeds:
            for bits in bitses:
                g = Gen(seed * 100 + bits, bits)
                lines = g.program(a.lines)
                dper, ddata, refused = assemble_dialect(a.qasm, lines, bits, work)
                nper, ndata = assemble_nasm(lines, bits, refused, work)
                dins = disassemble(ddata, bits, work, "d.bin")
                nins = disassemble(ndata, bits, work, "n.bin")
                dwhere, nwhere = locator(dper), locator(nper)
                for i in sorted(refused):
                    key = lines[i].refused
                    refusals[lines[i].group] = refusals.get(lines[i].group, 0) + 1
                    if key is None or key not in documented:
                        failures.append("%d-bit seed %d: refused: %s   (nasm: %s)" %
                                        (bits, seed, lines[i].dialect, lines[i].nasm))
                for i, l in enumerate(lines):
                    if i in refused or l.group in ("label",):
                        continue
                    compared += 1
                    ds, dc = dper[i]
                    ns, nc = nper[i]
                    db, nb = ddata[ds:ds + dc], ndata[ns:ns + nc]
                    if db == nb:
                        equal += 1
                        continue
                    adr = l.group == "address"
                    dr = reading(dins, ds, dc, dwhere, ddata, bits, work, adr) if dc else "(no bytes)"
                    nr = reading(nins, ns, nc, nwhere, ndata, bits, work, adr) if nc else "(no bytes)"
                    if dr is not None and dr == nr:
                        why = reason(db, nb) if not adr else \
                            "label address (earlier lines differ in length)"
                        key = "%s: %s" % (l.group, why)
                        byte_only[key] = byte_only.get(key, 0) + 1
                        examples.setdefault(key, "%s -> %s   nasm: %s -> %s" % (
                            l.dialect, db.hex(" ").upper(), l.nasm, nb.hex(" ").upper()))
                        continue
                    meaning += 1
                    failures.append("%d-bit seed %d line %d: %s -> %s [%s]   nasm: %s -> %s [%s]" %
                                    (bits, seed, i, l.dialect, db.hex(" ").upper(), dr, l.nasm,
                                     nb.hex(" ").upper(), nr))
    print("lines compared: %d" % compared)
    print("identical bytes: %d" % equal)
    print("meaning differences: %d" % meaning)
    print("refusals: %d %s" % (sum(refusals.values()), refusals or ""))
    print("byte-only differences: %d" % sum(byte_only.values()))
    for k in sorted(byte_only):
        print("  %6d  %s" % (byte_only[k], k))
        if a.examples:
            print("          e.g. " + examples[k])
    for f in failures[:a.show]:
        print("FAIL " + f)
    if len(failures) > a.show:
        print("... %d more" % (len(failures) - a.show))
    return 1 if failures else 0


def reason(db, nb):
    """A short description of why two encodings of one meaning differ."""
    prefixes = {0x26, 0x2E, 0x36, 0x3E, 0x64, 0x65, 0x66, 0x67, 0xF0, 0xF2, 0xF3}

    def split(b):
        i = 0
        while i < len(b) and b[i] in prefixes:
            i += 1
        return b[:i], b[i:]

    dp, dr = split(db)
    np_, nr = split(nb)
    if len(nr) == 1 and 0x90 <= nr[0] <= 0x97:
        return "XCHG with the accumulator: nasm's one-byte 90+r"
    if dr and nr and dr[0] in (0xC0, 0xC1) and nr[0] in (0xD0, 0xD1):
        return "shift by 1: the dialect's C0/C1 with a count byte, nasm's D0/D1"
    if (len(dr) == len(nr) + 1 and b"\x24\x00" in dr and b"\x24" in nr and
            sorted(dp) == sorted(np_)):
        return "[ESP] base: the single-operand forms keep a zero displacement byte"
    if dr == nr and np_ == b"\x66" + dp:
        return "MOV sreg,r32: nasm adds an operand-size prefix"
    if dr == nr and sorted(dp) == sorted(np_):
        return "prefix order"
    if dr == nr:
        return "prefixes"
    if len(db) != len(nb):
        return "length (%d vs %d bytes)" % (len(db), len(nb))
    if dp == np_ and len(dr) > 1 and dr[0] ^ nr[0] == 2:
        return "direction bit"
    if dp == np_ and len(dr) == 2 and dr[0] == nr[0] and dr[0] in (0x84, 0x85):
        return "operands swapped (TEST is symmetric)"
    if dp == np_ and dr and (dr[0] in (0xE0, 0xE1, 0xE2, 0xE3, 0xE8, 0xE9, 0xEB) or 0x70 <= dr[0] <= 0x7F or
                             (dr[0] == 0x0F and len(dr) > 1 and 0x80 <= dr[1] <= 0x8F)):
        return "relative displacement (earlier lines differ in length)"
    if dp == np_ and len(dr) == len(nr) and dr[0] == nr[0] and dr[1] & 0xC0 == 0xC0:
        return "register pair written the other way"
    return "other encoding"


if __name__ == "__main__":
    sys.exit(main())
