; TheFile.asm - a small DOS program in the Quorix dialect.
; Bare numbers are hexadecimal; '#' makes them decimal.
[ORG 100]
START:
        MOV AH, 9               ; DOS: print the text at DS:DX up to '$'
        MOV DX, OFFSET MSG
        INT 21
        MOV CX, #3
AGAIN:
        MOV DX, OFFSET DOT
        MOV AH, 9
        INT 21
        LOOP AGAIN
        MOV AX, 4C00            ; DOS: exit with code 0
        INT 21
MSG:
        DB "HELLO FROM QUORIX$"
DOT:
        DB ".$"
