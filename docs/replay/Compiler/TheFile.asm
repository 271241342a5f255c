; TheFile.asm - greets three times, then exits
[ORG 100]
START:
        MOV CX, #3          ; count
AGAIN:
        MOV AH, 9
        MOV DX, OFFSET MSG
        INT 21
        DEC CX
        JNZ AGAIN
        MOV AX, 4C00        ; exit code 0
        INT 21
        JMP START
MSG:
        DB "HELLO FROM QUORIX$"
TABLE:
        DW 1,2,3,4,5,6,7
