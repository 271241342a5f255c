; keys.asm - reads keys with echo (INT 21h function 01h) into BUF until
; Enter, then prints the count of keys read and exits with it.
[ORG 100]
START:
        MOV SI, OFFSET BUF
        MOV CX, 0
NEXT:
        MOV AH, 1
        INT 21
        CMP AL, D
        JZ DONE
        MOV [SI], AL
        INC SI
        INC CX
        JMP NEXT
DONE:
        MOV AX, CX
        MOV AH, 4C
        INT 21
BUF:
        DB 0,0,0,0,0,0,0,0
