; strings.asm - string instructions with REP, nested CALL/RET, PUSH/POP.
;
; Prints:
;   quorix
;   ********
;   quorix**
;   xirouq
;   same 6
;   found at 4
; and exits with the length of the first difference's prefix (3).
[ORG 100]
START:
        CLD
        MOV SI, OFFSET WORD1    ; REP MOVSB: copy six letters into BUF
        MOV DI, OFFSET BUF
        MOV CX, 6
        REP MOVSB
        MOV AL, 24
        STOSB
        MOV DX, OFFSET BUF
        CALL PRINTLN

        MOV DI, OFFSET BUF      ; REP STOSB: eight stars
        MOV AL, 2A
        MOV CX, 8
        REP STOSB
        MOV AL, 24
        STOSB
        MOV DX, OFFSET BUF
        CALL PRINTLN

        MOV SI, OFFSET WORD1    ; the word over the stars again
        MOV DI, OFFSET BUF
        MOV CX, 6
        REP MOVSB
        MOV DX, OFFSET BUF
        CALL PRINTLN

        MOV SI, OFFSET WORD1    ; LODSB from the end backwards, STOSB forwards
        ADD SI, 5
        MOV DI, OFFSET BUF
        MOV CX, 6
BACK:
        LODSB
        SUB SI, 2
        STOSB
        LOOP BACK
        MOV AL, 24
        STOSB
        MOV DX, OFFSET BUF
        CALL PRINTLN

        MOV SI, OFFSET WORD1    ; REPE CMPSB over two equal words
        MOV DI, OFFSET WORD2
        MOV CX, 6
        REPE CMPSB
        JNE DIFFER
        MOV DX, OFFSET SAME
        CALL PRINT
        MOV AX, 6
        SUB AX, CX
        CALL DIGIT
        CALL NEWLINE
DIFFER:
        MOV SI, OFFSET WORD1    ; LODSB search: one past the 'r'
        MOV CX, 6
SEARCH:
        LODSB
        CMP AL, 72
        JE HIT
        LOOP SEARCH
HIT:
        MOV AX, SI
        SUB AX, OFFSET WORD1
        MOV DX, OFFSET FOUND
        CALL PRINT
        CALL DIGIT
        CALL NEWLINE

        MOV SI, OFFSET WORD1    ; REPE CMPSB that stops at a difference
        MOV DI, OFFSET WORD3
        MOV CX, 6
        REPE CMPSB
        MOV AX, 5
        SUB AX, CX
        MOV AH, 4C
        INT 21

; Prints the $-terminated text at DX, then a line end.
PRINTLN:
        CALL PRINT
        CALL NEWLINE
        RET

PRINT:
        PUSH AX
        MOV AH, 9
        INT 21
        POP AX
        RET

NEWLINE:
        PUSH DX
        MOV DX, OFFSET CRLF
        CALL PRINT
        POP DX
        RET

; Prints AL (0 to 9) as a digit.
DIGIT:
        PUSH AX
        PUSH DX
        MOV DL, AL
        ADD DL, 30
        MOV AH, 2
        INT 21
        POP DX
        POP AX
        RET

WORD1:
        DB 71,75,6F,72,69,78            ; "quorix"
WORD2:
        DB 71,75,6F,72,69,78
WORD3:
        DB 71,75,6F,6B,6B,6B            ; "quokkk"
SAME:
        DB 73,61,6D,65,20,24            ; "same "
FOUND:
        DB 66,6F,75,6E,64,20,61,74,20,24 ; "found at "
CRLF:
        DB 0D,0A,24
BUF:
        DB 0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0
