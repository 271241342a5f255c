; input.asm - keyboard input: a buffered line (INT 21h 0Ah), keys without
; echo (08h), a key with echo (01h) and a raw read from handle 0 (3Fh).
;
; With the input "Ada" CR LF "1x2 3 9." "Q" "ok!" it prints:
;   NAME? Ada
;   HI Ada
;   SUM 15
;   (an empty line: a key read with 01h from a redirected file is not echoed)
;   ok!
; and exits with the number of digits it summed (4).
[ORG 100]
START:
        MOV DX, OFFSET ASK
        MOV AH, 9
        INT 21
        MOV DX, OFFSET LINE     ; one line into LINE: size, count, text, CR
        MOV AH, 0A
        INT 21
        CALL NEWLINE
        MOV DX, OFFSET HI
        MOV AH, 9
        INT 21
        MOV SI, OFFSET LINE     ; the count typed, then the text itself
        INC SI
        MOV CL, [SI]
        XOR CH, CH
        INC SI
        MOV DX, SI
        MOV BX, 1
        MOV AH, 40
        INT 21
        CALL NEWLINE

        MOV AH, 8               ; skip the LF that followed the CR
        INT 21
        XOR BX, BX              ; sum
        XOR DI, DI              ; digits
NEXTKEY:
        MOV AH, 8
        INT 21
        CMP AL, 2E              ; '.' ends the digits
        JE SUMMED
        CMP AL, 30
        JB NEXTKEY
        CMP AL, 39
        JA NEXTKEY
        SUB AL, 30
        XOR AH, AH
        ADD BX, AX
        INC DI
        JMP NEXTKEY
SUMMED:
        MOV DX, OFFSET SUM
        MOV AH, 9
        INT 21
        MOV AX, BX              ; two digits
        MOV CX, #10
        XOR DX, DX
        DIV CX
        MOV BX, DX
        MOV DL, AL
        ADD DL, 30
        MOV AH, 2
        INT 21
        MOV DL, BL
        ADD DL, 30
        MOV AH, 2
        INT 21
        CALL NEWLINE

        MOV AH, 1               ; one key, echoed
        INT 21
        CALL NEWLINE

        MOV AH, 3F              ; the rest, at most 3 bytes, as it comes
        MOV BX, 0
        MOV CX, 3
        MOV DX, OFFSET RAW
        INT 21
        MOV CX, AX
        MOV DX, OFFSET RAW
        MOV BX, 1
        MOV AH, 40
        INT 21
        CALL NEWLINE

        MOV AX, DI
        MOV AH, 4C
        INT 21

NEWLINE:
        MOV DL, 0D
        MOV AH, 2
        INT 21
        MOV DL, 0A
        MOV AH, 2
        INT 21
        RET

ASK:
        DB "NAME? $"
HI:
        DB "HI $"
SUM:
        DB "SUM $"
RAW:
        DB 0,0,0,0,0,0,0,0
LINE:
        DB #20,0
        DB 0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0
        DB 0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0
