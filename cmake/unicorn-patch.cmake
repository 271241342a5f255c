# The changes made to Unicorn's source after it is unpacked (the archive
# itself stays as it came): run as `cmake -DSOURCE=<unpacked folder> -P`.
#
# 1. With a code hook, Unicorn's x86 translator computes the flags into CC_SRC
# before each instruction (CC_OP_EFLAGS) but records the instruction's
# earlier CC_OP for restoring the state when it faults or is restarted in
# the middle. A restart (the instruction wrote into the code block it runs
# from) or a fault (memory outside the program) then paired the old CC_OP
# with the new CC_SRC: a carry appeared after an ADD that cleared it, and the
# flags a stop showed belonged to no instruction. With the change, a hooked
# instruction writes its CC_OP to the CPU state before the hook and after
# the flags are computed, and records "as the state holds it" for a restore.
#
# 2. A code hook notes every block it was translated into (start and
# length), so that the blocks can be dropped if the hook is deleted. The
# notes outlived the blocks: a flush of all translations kept them, and an
# engine reused for program after program (or a long run whose translation
# buffer fills again and again) gathered them without end. A flush now
# drops them with the blocks.
#
# 3. In 32-bit code a short JMP, a conditional jump, LOOP, LOOPZ, LOOPNZ and
# JECXZ kept their target beyond 32 bits (0 - 1 gave FFFFFFFFFFFFFFFFh, not
# FFFFFFFFh), where a near JMP or CALL cuts it. They cut it too now, outside
# 64-bit code.
#
# 4. RCL and RCR set the flags in the CPU state in their helper, before the
# result is stored. With a memory operand, a store that restarts the
# instruction (it wrote into the code block it runs from) or faults ran it
# again, or stopped it, with the carry it had produced: STC then
# RCR byte [x],1 on 90h gave 48h where a processor gives C8h. The value read
# is now stored back before the helper runs, so a restart or a fault comes
# before any change; storing what the memory holds changes nothing else.
#
# 5. BT, BTS, BTR and BTC with a LOCK prefix and a register operand read
# memory through an address never computed, and the translator ended the
# whole process ("tcg fatal error"). A processor refuses LOCK there, and on
# BT at all, as an invalid instruction; so does the engine now.
#
# 6. RDRAND and RDSEED gave a value from the host's random-number generator,
# so one program gave different registers from run to run, in single steps
# and in a long run, and a replay after a step back went another way. The
# processor the engine models now has neither: CPUID does not report them,
# and both are invalid instructions, as on a processor without them.
#
# 7. A store that is not aligned to its size is made byte by byte, and each
# byte was checked for translated code only as it was stored. When a later
# byte fell in the block running, the engine restarted the instruction after
# the earlier bytes had changed, and it ran again on memory it had half
# changed: in single steps, XOR [EAX],EAX at 2 with EAX=1 on 00003140h gave
# 00003140h, where a long run (and a processor) gives 00003141h. The whole
# store is now checked before its first byte, as an aligned store is.
#
# 8. MOV to DR7 armed the engine's own breakpoints and watchpoints at the
# addresses in DR0-DR3, in a list outside the processor state that a saved
# state holds. Bringing the engine back to its start (a restart, the next
# program) or to an earlier step left them armed, and a state put back held
# pointers to breakpoints since removed: a program that set DR0 to its first
# instruction and DR7 to 1 stopped there with "processor exception 1" as
# soon as it was run again. The debug registers now keep what a program
# writes and arm nothing, so a state is whole in itself again.
#
# 9. In real-address mode the engine ran 16-bit code at any offset: a jump,
# return or IRET with a 32-bit operand size could set EIP past FFFFh, and
# the engine went on at CS * 16 + EIP, where a processor raises #GP. An
# IRETD to 0000:00010001 ran the program's INT 20h bytes from their second
# byte. An instruction past offset FFFFh now raises #GP before it runs.
#
# 10. On a page written often, the engine keeps a map of the bytes that hold
# translated code, and a write looked up its bytes in one word of the map:
# a write that ran over a 64-byte boundary missed the code past it. With
# change 7, a word store from the byte before an instruction on such a
# boundary onto the instruction itself was let through whole, stored its
# first byte, then restarted at its second and ran again on memory it had
# half changed: ADD [13Fh],AX with AX=A1h on A0h 01h gave E2h 01h where a
# processor gives 41h 02h. Every byte of a write is looked up now.
#
# 11. A REP string instruction was translated two ways: after STI or MOV SS
# (no interrupt may come before the next instruction), or with TF set, its
# last iteration went straight on to the next instruction; otherwise it went
# back to itself and left at CX 0, one hook call more. Which translation ran
# depended on where earlier runs had stopped, so one program counted its
# steps differently in a long run and in single steps: STI, then REP STOSB
# with CX 3, took 3 steps there and 4 elsewhere. Every REP now goes back to
# itself and leaves at CX 0.
#
# Applying the changes twice changes nothing; a source that matches neither
# form stops the build.

# Each change is a function call with the text before and after; the texts
# hold semicolons, so they are never put in a list.
function(_quorix_change old new)
  string(FIND "${_text}" "${new}" _done)
  if(NOT _done EQUAL -1)
    return()
  endif()
  string(FIND "${_text}" "${old}" _at)
  string(FIND "${_text}" "${old}" _lastAt REVERSE)
  if(_at EQUAL -1 OR NOT _at EQUAL _lastAt)
    message(FATAL_ERROR "${_file}: the text to change is not there once:\n${old}")
  endif()
  string(REPLACE "${old}" "${new}" _changed "${_text}")
  set(_text "${_changed}" PARENT_SCOPE)
endfunction()

set(_file ${SOURCE}/qemu/target/i386/translate.c)
file(READ ${_file} _text)

_quorix_change([=[
    dc->prev_pc = dc->base.pc_next - dc->cs_base;
    tcg_gen_insn_start(tcg_ctx, dc->base.pc_next, dc->cc_op);
]=] [=[
    dc->prev_pc = dc->base.pc_next - dc->cs_base;
    // A hooked instruction keeps CC_OP in the CPU state current (see
    // disas_insn): a restore in the middle of it keeps what is there.
    tcg_gen_insn_start(tcg_ctx, dc->base.pc_next,
                       HOOK_EXISTS_BOUNDED(dc->uc, UC_HOOK_CODE, dc->base.pc_next)
                           ? CC_OP_DYNAMIC
                           : dc->cc_op);
]=])
_quorix_change([=[
            s->last_cc_op = s->cc_op;
        }

        // Sync PC in advance
]=] [=[
            s->last_cc_op = s->cc_op;
        }
        gen_update_cc_op(s);

        // Sync PC in advance
]=])
_quorix_change([=[
        // Unicorn: Previous hook might change eflags to any state, let's sync it
        gen_compute_eflags(s);
]=] [=[
        // Unicorn: Previous hook might change eflags to any state, let's sync it
        gen_compute_eflags(s);
        gen_update_cc_op(s);
]=])
_quorix_change([=[
        gen_compute_eflags(s);
        gen_update_cc_op(s);
    }

    s->override = -1;
]=] [=[
        gen_compute_eflags(s);
        gen_update_cc_op(s);
    }

    // Real-address mode, 16-bit code: an instruction past offset FFFFh of
    // its code segment (reached by a jump, return or IRET with a 32-bit
    // operand size) raises #GP before it runs, after the hook has seen it.
    if (!s->pe && !s->code32 && pc_start - s->cs_base > 0xffff) {
        gen_exception(s, EXCP0D_GPF, pc_start - s->cs_base);
        return s->pc;
    }

    s->override = -1;
]=])
_quorix_change([=[
            tval += next_eip;
            if (dflag == MO_16) {
                tval &= 0xffff;
            }

            l1 = gen_new_label(tcg_ctx);
]=] [=[
            tval += next_eip;
            if (dflag == MO_16) {
                tval &= 0xffff;
            } else if (!CODE64(s)) {
                tval &= 0xffffffff;
            }

            l1 = gen_new_label(tcg_ctx);
]=])
_quorix_change([=[
        tval += s->pc - s->cs_base;
        if (dflag == MO_16) {
            tval &= 0xffff;
        }
        gen_jmp(s, tval);
]=] [=[
        tval += s->pc - s->cs_base;
        if (dflag == MO_16) {
            tval &= 0xffff;
        } else if (!CODE64(s)) {
            tval &= 0xffffffff;
        }
        gen_jmp(s, tval);
]=])
_quorix_change([=[
        tval += next_eip;
        if (dflag == MO_16) {
            tval &= 0xffff;
        }
        gen_bnd_jmp(s);
        gen_jcc(s, b, tval, next_eip);
]=] [=[
        tval += next_eip;
        if (dflag == MO_16) {
            tval &= 0xffff;
        } else if (!CODE64(s)) {
            tval &= 0xffffffff;
        }
        gen_bnd_jmp(s);
        gen_jcc(s, b, tval, next_eip);
]=])
_quorix_change([=[
    // assert(s->cc_op == CC_OP_EFLAGS);

    /* load */
    if (op1 == OR_TMP0)
        gen_op_ld_v(s, ot, s->T0, s->A0);
    else
        gen_op_mov_v_reg(s, ot, s->T0, op1);
]=] [=[
    // assert(s->cc_op == CC_OP_EFLAGS);

    /* load */
    if (op1 == OR_TMP0) {
        gen_op_ld_v(s, ot, s->T0, s->A0);
        // The helpers below change the flags before the result is stored:
        // a store that restarts the instruction or faults comes first.
        gen_op_st_v(s, ot, s->T0, s->A0);
    } else
        gen_op_mov_v_reg(s, ot, s->T0, op1);
]=])
_quorix_change([=[
        if (s->prefix & PREFIX_LOCK) {
            switch (op) {
            case 0: /* bt */
]=] [=[
        if (s->prefix & PREFIX_LOCK) {
            // LOCK needs a memory operand, and BT takes none at all.
            if (mod == 3 || op == 0) {
                goto illegal_op;
            }
            switch (op) {
            case 0: /* bt */
]=])
_quorix_change([=[
    dc->repz_opt = !dc->jmp_opt && !(tb_cflags(dc->base.tb) & CF_USE_ICOUNT);
]=] [=[
    // Every REP string instruction goes back to itself after an iteration
    // and leaves at ECX 0, however the block was entered: one translation,
    // so the same steps in every run.
    dc->repz_opt = 0;
]=])
file(WRITE ${_file} "${_text}")

set(_file ${SOURCE}/qemu/accel/tcg/translate-all.c)
file(READ ${_file} _text)
_quorix_change([=[
    tcg_region_reset_all(cpu->uc->tcg_ctx);
]=] [=[
    tcg_region_reset_all(cpu->uc->tcg_ctx);
    // The blocks the hooks were translated into are gone with the rest.
    for (int idx = 0; idx < UC_HOOK_MAX; idx++) {
        for (struct list_item *cur = cpu->uc->hook[idx].head; cur != NULL;
             cur = cur->next) {
            g_hash_table_remove_all(((struct hook *)cur->data)->hooked_regions);
        }
    }
]=])
_quorix_change([=[
        unsigned int nr;
        unsigned long b;

        nr = start & ~TARGET_PAGE_MASK;
        b = p->code_bitmap[BIT_WORD(nr)] >> (nr & (BITS_PER_LONG - 1));
        if (b & ((1 << len) - 1)) {
            goto do_invalidate;
        }
]=] [=[
        unsigned int nr;

        nr = start & ~TARGET_PAGE_MASK;
        // Every byte written, in whichever word of the map it falls.
        if (find_next_bit(p->code_bitmap, nr + len, nr) < nr + len) {
            goto do_invalidate;
        }
]=])
file(WRITE ${_file} "${_text}")

set(_file ${SOURCE}/qemu/accel/tcg/cputlb.c)
file(READ ${_file} _text)
_quorix_change([=[
        if (unlikely(tlb_addr2 & TLB_WATCHPOINT)) {
            cpu_check_watchpoint(env_cpu(env), page2, size2,
                                 env_tlb(env)->d[mmu_idx].iotlb[index2].attrs,
                                 BP_MEM_WRITE, retaddr);
        }
]=] [=[
        if (unlikely(tlb_addr2 & TLB_WATCHPOINT)) {
            cpu_check_watchpoint(env_cpu(env), page2, size2,
                                 env_tlb(env)->d[mmu_idx].iotlb[index2].attrs,
                                 BP_MEM_WRITE, retaddr);
        }

        // A store into translated code restarts the instruction if it hits
        // the block running: that must come before the first byte below is
        // stored, or the instruction runs again on memory it half changed.
        {
            size_t size1 = MIN(size, TARGET_PAGE_SIZE - (addr & ~TARGET_PAGE_MASK));
            if (tlb_addr & TLB_NOTDIRTY) {
                notdirty_write(env_cpu(env), addr, size1,
                               &env_tlb(env)->d[mmu_idx].iotlb[index], retaddr,
                               entry);
            }
            if (size1 < size && (tlb_addr2 & TLB_NOTDIRTY)) {
                notdirty_write(env_cpu(env), page2, size - size1,
                               &env_tlb(env)->d[mmu_idx].iotlb[index2], retaddr,
                               entry2);
            }
        }
]=])
file(WRITE ${_file} "${_text}")

set(_file ${SOURCE}/qemu/target/i386/unicorn.c)
file(READ ${_file} _text)
_quorix_change([=[
    cpu = cpu_x86_init(uc);
    if (cpu == NULL) {
        return -1;
    }
]=] [=[
    cpu = cpu_x86_init(uc);
    if (cpu == NULL) {
        return -1;
    }
    // No random numbers: a program runs the same way every time.
    cpu->env.features[FEAT_1_ECX] &= ~CPUID_EXT_RDRAND;
    cpu->env.features[FEAT_7_0_EBX] &= ~CPUID_7_0_EBX_RDSEED;
]=])
file(WRITE ${_file} "${_text}")

set(_file ${SOURCE}/qemu/target/i386/bpt_helper.c)
file(READ ${_file} _text)
_quorix_change([=[
static int hw_breakpoint_insert(CPUX86State *env, int index)
{
    CPUState *cs = env_cpu(env);
    target_ulong dr7 = env->dr[7];
    target_ulong drN = env->dr[index];
    int err = 0;

    switch (hw_breakpoint_type(dr7, index)) {
    case DR7_TYPE_BP_INST:
        if (hw_breakpoint_enabled(dr7, index)) {
            err = cpu_breakpoint_insert(cs, drN, BP_CPU,
                                        &env->cpu_breakpoint[index]);
        }
        break;

    case DR7_TYPE_IO_RW:
        /* Notice when we should enable calls to bpt_io.  */
        return hw_breakpoint_enabled(env->dr[7], index)
               ? HF_IOBPT_MASK : 0;

    case DR7_TYPE_DATA_WR:
        if (hw_breakpoint_enabled(dr7, index)) {
            err = cpu_watchpoint_insert(cs, drN,
                                        hw_breakpoint_len(dr7, index),
                                        BP_CPU | BP_MEM_WRITE,
                                        &env->cpu_watchpoint[index]);
        }
        break;

    case DR7_TYPE_DATA_RW:
        if (hw_breakpoint_enabled(dr7, index)) {
            err = cpu_watchpoint_insert(cs, drN,
                                        hw_breakpoint_len(dr7, index),
                                        BP_CPU | BP_MEM_ACCESS,
                                        &env->cpu_watchpoint[index]);
        }
        break;
    }
    if (err) {
        env->cpu_breakpoint[index] = NULL;
    }
    return 0;
}
]=] [=[
// The debug registers keep what a program writes and arm nothing: an armed
// breakpoint lived outside the processor state, and outlived a restore.
static int hw_breakpoint_insert(CPUX86State *env, int index)
{
    (void)env;
    (void)index;
    return 0;
}
]=])
_quorix_change([=[
            } else if (hw_breakpoint_type(new_dr7, i) == DR7_TYPE_IO_RW
                       && hw_breakpoint_enabled(new_dr7, i)) {
                iobpt |= HF_IOBPT_MASK;
            }
]=] [=[
            }
]=])
file(WRITE ${_file} "${_text}")
