; sieve.asm - a CPU-bound DOS program for timing: the sieve of Eratosthenes
; over 0 .. 7999, run 440 times (about 90 million instructions), then the number of primes found (1007)
; printed in decimal. Exit code 0. The sieve lies at 4000, in a page of its
; own, away from the code.
[ORG 100]
START:
        MOV BP, #440            ; rounds
ROUND:
        MOV DI, 4000    ; every number a candidate
        MOV CX, #8000
        MOV AL, 1
        REP STOSB
        XOR DL, DL
        MOV BX, 2
OUTER:
        MOV SI, 4000
        ADD SI, BX
        MOV AL, [SI]
        CMP AL, 0
        JE NEXTB
        MOV DI, BX              ; strike 2*BX, 3*BX, ...
        ADD DI, BX
MARK:
        CMP DI, #8000
        JAE NEXTB
        MOV SI, 4000
        ADD SI, DI
        MOV [SI], DL
        ADD DI, BX
        JMP MARK
NEXTB:
        INC BX
        CMP BX, #8000
        JB OUTER
        DEC BP
        JNZ ROUND

        XOR AX, AX              ; count what is left from 2 on
        MOV BX, 2
COUNT:
        MOV SI, 4000
        ADD SI, BX
        MOV DL, [SI]
        XOR DH, DH
        ADD AX, DX
        INC BX
        CMP BX, #8000
        JB COUNT
        CALL SHOWNUM
        MOV AX, 4C00
        INT 21

; Prints AX in decimal, then CR LF.
SHOWNUM:
        MOV BX, #10
        XOR CX, CX
SPLIT:
        XOR DX, DX
        DIV BX
        PUSH DX
        INC CX
        CMP AX, 0
        JNZ SPLIT
DIGITS:
        POP DX
        ADD DL, 30
        MOV AH, 2
        INT 21
        LOOP DIGITS
        MOV DL, 0D
        MOV AH, 2
        INT 21
        MOV DL, 0A
        MOV AH, 2
        INT 21
        RET

