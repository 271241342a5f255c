; screen_dump.asm - copies the 4,000 bytes of the text screen at B800:0000
; (character and attribute, row after row) to SCREEN.BIN in the current
; folder, with DOS's own file functions: 3Ch create, 40h write, 3Eh close.
; Exit code 0 when the whole screen was written, 1 otherwise.
[ORG 100]
START:
        MOV AH, 3C
        XOR CX, CX
        MOV DX, OFFSET FNAME
        INT 21
        JC FAIL
        MOV BX, AX              ; the handle
        PUSH DS
        MOV AX, B800
        MOV DS, AX
        XOR DX, DX
        MOV CX, #4000
        MOV AH, 40
        INT 21
        POP DS
        JC FAIL
        CMP AX, #4000
        JNZ FAIL
        MOV AH, 3E
        INT 21
        JC FAIL
        MOV AX, 4C00
        INT 21
FAIL:
        MOV AX, 4C01
        INT 21
FNAME:
        DB "SCREEN.BIN"
        DB 0
