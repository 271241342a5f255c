; count.asm - counting and arithmetic under DOS, every digit and letter
; is worked out while the program runs.
;
; Prints:
;   counting with quorix
;   0123456789
;   zyxwvutsrqponmlkjihgfedcba
;   5050
;   END OF COUNT
; and exits with the number of letters it printed (26) as its exit code.
[ORG 100]
START:
        MOV DX, OFFSET GREET
        CALL PRINT

        MOV CX, #10             ; ten digits, LOOP counts them down
        MOV BL, 30              ; '0'
DIGIT:
        MOV DL, BL
        MOV AH, 2               ; DOS: write the character in DL
        INT 21
        ADD BL, 1
        LOOP DIGIT
        CALL NEWLINE

        XOR DI, DI              ; letters printed so far
        MOV BL, 7A              ; 'z', walking down to 'a'
BACKWARD:
        MOV DL, BL
        MOV AH, 2
        INT 21
        INC DI
        SUB BL, 1
        CMP BL, 60              ; one below 'a'
        JNZ BACKWARD
        CALL NEWLINE

        XOR AX, AX              ; 1 + 2 + ... + 100
        MOV CX, #100
SUMUP:
        ADD AX, CX
        LOOP SUMUP
        CALL SHOWNUM
        CALL NEWLINE

        MOV DX, OFFSET BYE
        CALL PRINT
        CALL NEWLINE

        MOV AX, DI              ; exit code: letters printed
        MOV AH, 4C              ; DOS: end the program
        INT 21

; Prints the $-terminated text at DS:DX.
PRINT:
        MOV AH, 9
        INT 21
        RET

; Ends the current output line (calls PRINT in turn).
NEWLINE:
        MOV DX, OFFSET CRLF
        CALL PRINT
        RET

; Prints AX as an unsigned decimal number.
SHOWNUM:
        MOV BX, #10
        XOR CX, CX
SPLIT:
        XOR DX, DX
        DIV BX                  ; AX = AX / 10, DX = remainder
        PUSH DX
        INC CX
        CMP AX, 0
        JNZ SPLIT
NEXTDIG:
        POP DX
        ADD DL, 30
        MOV AH, 2
        INT 21
        LOOP NEXTDIG
        RET

GREET:
        DB 63,6F,75,6E,74,69,6E,67,20       ; "counting "
        DB 77,69,74,68,20                   ; "with "
        DB 71,75,6F,72,69,78,0D,0A,24       ; "quorix", CR LF
BYE:
        DB "END OF COUNT$"
CRLF:
        DB 0D,0A,24
