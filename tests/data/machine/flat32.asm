; flat32.asm - 32-bit flat code: a counter in memory and a sum in EAX.
[ORG 400000]
[BITS #32]
START:
        MOV EAX, 12345678
        MOV ECX, 4
        MOV ESI, OFFSET COUNT
ADDUP:
        ADD EAX, ECX
        INC D.[ESI]
        LOOP ADDUP
        RET
COUNT:
        DD 0
