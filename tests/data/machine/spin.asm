; spin.asm - counts in BX for ever and prints nothing.
[ORG 100]
START:
        INC BX
        JMP START
