; table.asm - walks data in memory: text, a byte table and a word table.
;
; Prints:
;   quorix assembler
;   QUORIX ASSEMBLER
;   desserts
;   0264
;   9c40
; and exits with the number of letters it turned to upper case (15).
[ORG 100]
MAIN:
        MOV DX, OFFSET TEXT
        CALL PRINT
        CALL NEWLINE

        MOV SI, OFFSET TEXT     ; upper-case TEXT in place
        XOR CX, CX              ; letters changed
UPCASE:
        MOV AL, [SI]
        CMP AL, 24              ; '$' ends the text
        JE UPDONE
        CMP AL, 61              ; below 'a'
        JB KEEPCHAR
        CMP AL, 7A              ; above 'z'
        JA KEEPCHAR
        SUB AL, 20
        MOV [SI], AL
        INC CX
KEEPCHAR:
        INC SI
        JMP UPCASE
UPDONE:
        PUSH CX                 ; kept for the exit code
        MOV DX, OFFSET TEXT
        CALL PRINT
        CALL NEWLINE

        MOV SI, OFFSET STRESSED ; copy STRESSED backwards into MIRROR
TOEND:
        MOV AL, [SI]
        CMP AL, 24
        JE ATEND
        INC SI
        JMP TOEND
ATEND:
        MOV DI, OFFSET MIRROR
REVERSE:
        DEC SI
        MOV AL, [SI]
        MOV [DI], AL
        INC DI
        CMP SI, OFFSET STRESSED
        JNZ REVERSE
        MOV AL, 24
        MOV [DI], AL
        MOV DX, OFFSET MIRROR
        CALL PRINT
        CALL NEWLINE
        JMP OVERDATA

BYTES:
        DB 11,22,33,44
        DB #85,#102,#119,#136   ; 55 66 77 88
OVERDATA:
        MOV SI, OFFSET BYTES    ; sum of the eight bytes
        MOV CX, 8
        XOR AX, AX
        XOR BH, BH
SUMBYTE:
        MOV BL, [SI]
        ADD AX, BX
        INC SI
        LOOP SUMBYTE
        CALL SHOWHEX
        CALL NEWLINE

        MOV SI, OFFSET VALUES   ; largest word, compared unsigned
        MOV CX, 5
        XOR DX, DX
NEXTVAL:
        MOV AX, [SI]
        ADD SI, 2
        CMP AX, DX
        JBE SMALLER
        MOV DX, AX
SMALLER:
        LOOP NEXTVAL
        MOV AX, DX
        CALL SHOWHEX
        CALL NEWLINE

        POP AX                  ; exit code: letters changed
        MOV AH, 4C
        INT 21

; Prints the $-terminated text at DS:DX.
PRINT:
        MOV AH, 9
        INT 21
        RET

; Ends the current output line.
NEWLINE:
        MOV DX, OFFSET CRLF
        CALL PRINT
        RET

; Prints AX as four lower-case hexadecimal digits.
SHOWHEX:
        MOV CX, 4
HEXDIG:
        ROL AX, 4               ; next digit into the low bits
        PUSH AX
        AND AL, 0F
        ADD AL, 30
        CMP AL, 3A
        JB DIGITOK
        ADD AL, 27              ; past '9': on to 'a'
DIGITOK:
        MOV DL, AL
        MOV AH, 2
        INT 21
        POP AX
        LOOP HEXDIG
        RET

TEXT:
        DB 71,75,6F,72,69,78,20                 ; "quorix "
        DB 61,73,73,65,6D,62,6C,65,72,24        ; "assembler"
STRESSED:
        DB 73,74,72,65,73,73,65,64,24           ; "stressed"
VALUES:
        DW #300, #1200, #40000, #999, #7
CRLF:
        DB 0D,0A,24
MIRROR:
        DB 0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0
