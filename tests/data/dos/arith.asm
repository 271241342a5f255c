; arith.asm - MUL, DIV, IMUL, IDIV, NEG and ADC carries, the flags they leave
; and the conditional jumps that read them.
;
; Prints:
;   00123400
;   1234 0057
;   ffeb fffb ffff
;   00010000 fffe
;   LBCZOSPGAE
;   0890
; and exits with the number of conditional jumps taken (10).
[ORG 100]
START:
        XOR DI, DI              ; jumps taken

        MOV AX, 1234            ; 1234h * 100h = 00123400h in DX:AX
        MOV BX, 100
        MUL BX
        PUSH AX
        MOV AX, DX
        CALL SHOWHEX
        POP AX
        CALL SHOWHEX
        CALL NEWLINE

        MOV DX, 12              ; 00123457h / 100h = 1234h rest 57h
        MOV AX, 3457
        MOV BX, 100
        DIV BX
        PUSH DX
        CALL SHOWHEX
        CALL SPACE
        POP AX
        CALL SHOWHEX
        CALL NEWLINE

        MOV AX, FFF9            ; -7 * 3 = -21
        MOV BX, 3
        IMUL BX
        PUSH AX
        CALL SHOWHEX
        CALL SPACE
        POP AX                  ; -21 / 4 = -5 rest -1
        MOV DX, FFFF
        MOV BX, 4
        IDIV BX
        PUSH DX
        CALL SHOWHEX
        CALL SPACE
        POP AX
        CALL SHOWHEX
        CALL NEWLINE

        MOV AX, FFFF            ; 0000FFFFh + 1 with the carry into the high word
        XOR DX, DX
        ADD AX, 1
        ADC DX, 0
        PUSH AX
        MOV AX, DX
        CALL SHOWHEX
        POP AX
        CALL SHOWHEX
        CALL SPACE
        MOV AX, 2               ; -2, and the carry NEG leaves
        NEG AX
        MOV BX, 0
        ADC BX, 0
        ADD AX, BX
        SUB AX, 1
        CALL SHOWHEX
        CALL NEWLINE

        MOV AX, 5               ; signed and unsigned below
        CMP AX, 7
        JL TOOK1
        JMP NOT1
TOOK1:
        MOV DL, 4C              ; 'L'
        CALL TAKEN
NOT1:
        CMP AX, 7
        JB TOOK2
        JMP NOT2
TOOK2:
        MOV DL, 42              ; 'B'
        CALL TAKEN
NOT2:
        MOV AX, FFFF            ; carry and zero from one addition
        ADD AX, 1
        JC TOOK3
        JMP NOT3
TOOK3:
        MOV DL, 43              ; 'C'
        CALL TAKEN
NOT3:
        ADD AX, 0
        JZ TOOK4
        JMP NOT4
TOOK4:
        MOV DL, 5A              ; 'Z'
        CALL TAKEN
NOT4:
        MOV AX, 7FFF            ; signed overflow into the sign bit
        ADD AX, 1
        JO TOOK5
        JMP NOT5
TOOK5:
        MOV DL, 4F              ; 'O'
        CALL TAKEN
NOT5:
        MOV AX, 7FFF
        ADD AX, 1
        JS TOOK6
        JMP NOT6
TOOK6:
        MOV DL, 53              ; 'S'
        CALL TAKEN
NOT6:
        MOV AL, 3               ; two bits set: even parity
        OR AL, AL
        JP TOOK7
        JMP NOT7
TOOK7:
        MOV DL, 50              ; 'P'
        CALL TAKEN
NOT7:
        MOV AX, 1               ; 1 > -1 signed ...
        CMP AX, FFFF
        JG TOOK8
        JMP NOT8
TOOK8:
        MOV DL, 47              ; 'G'
        CALL TAKEN
NOT8:
        MOV AX, FFFF            ; ... but FFFF above 1 unsigned
        CMP AX, 1
        JA TOOK9
        JMP NOT9
TOOK9:
        MOV DL, 41              ; 'A'
        CALL TAKEN
NOT9:
        CMP AX, FFFF
        JE TOOK10
        JMP NOT10
TOOK10:
        MOV DL, 45              ; 'E'
        CALL TAKEN
NOT10:
        CMP AX, 1               ; not equal: this jump is not taken
        JE TOOK11
        JMP NOT11
TOOK11:
        MOV DL, 3F              ; '?'
        CALL TAKEN
NOT11:
        CALL NEWLINE

        MOV AX, 7FFF            ; the flags of 7FFF + 7FFF: OF SF AF PF
        ADD AX, 7FFF
        PUSHF
        POP AX
        AND AX, 08D5            ; OF SF ZF AF PF CF
        CALL SHOWHEX
        CALL NEWLINE

        MOV AX, DI
        MOV AH, 4C
        INT 21

; Prints DL and counts the jump; AX is kept.
TAKEN:
        PUSH AX
        MOV AH, 2
        INT 21
        INC DI
        POP AX
        RET

SPACE:
        MOV DL, 20
        MOV AH, 2
        INT 21
        RET

NEWLINE:
        MOV DL, 0D
        MOV AH, 2
        INT 21
        MOV DL, 0A
        MOV AH, 2
        INT 21
        RET

; Prints AX as four lower-case hexadecimal digits.
SHOWHEX:
        MOV CX, 4
HEXDIG:
        ROL AX, 4
        PUSH AX
        AND AL, 0F
        ADD AL, 30
        CMP AL, 3A
        JB DIGITOK
        ADD AL, 27
DIGITOK:
        MOV DL, AL
        MOV AH, 2
        INT 21
        POP AX
        LOOP HEXDIG
        RET
