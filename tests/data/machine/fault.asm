; fault.asm - divides by zero on line 9: the program stops there.
[ORG 100]
START:
        MOV AX, 1234
        MOV BL, 0
        MOV CX, 3
AGAIN:
        DEC CX
        DIV BL
        LOOP AGAIN
        MOV AX, 4C00
        INT 21
