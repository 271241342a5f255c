; bubble.asm - sorts the six bytes of LIST in place, smallest first, with
; a bubble sort: five passes over the neighbouring pairs.
;
; Leaves LIST = 1 2 3 5 8 9 and exits with code 0.
[ORG 100]
START:
        MOV CX, 5               ; passes, and pairs per pass
OUTER:
        MOV SI, OFFSET LIST
        MOV DX, CX
INNER:
        MOV AL, [SI]
        MOV BL, [SI+1]
        CMP AL, BL
        JBE KEEP
        MOV [SI], BL            ; swap the pair
        MOV [SI+1], AL
KEEP:
        INC SI
        DEC DX
        JNZ INNER
        LOOP OUTER
        MOV AX, 4C00
        INT 21
LIST:
        DB 5,3,8,1,9,2
