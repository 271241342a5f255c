; recurse.asm - 5! by a procedure that calls itself: FACT multiplies AX by
; the factorial of AX - 1 until AX is 1.
;
; Leaves RESULT = 120 (78h) and exits with code 0.
[ORG 100]
START:
        MOV AX, 5
        CALL FACT
        MOV SI, OFFSET RESULT
        MOV [SI], AX
        MOV AX, 4C00
        INT 21
FACT:
        CMP AX, 1
        JBE DONE
        PUSH AX
        DEC AX
        CALL FACT
        POP BX
        MUL BX
DONE:
        RET
RESULT:
        DW 0
