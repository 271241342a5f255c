; cursor.asm - BIOS cursor positioning and character writes.
;
; Leaves:
;   row 5, from column 16: BCCAA  (white on blue, 1Fh): five A written by
;       function 09h, the first overwritten by the teletype (0Eh), two C by
;       function 0Ah, which keeps the attributes
;   row 10: Z, printed by DOS at the cursor set by function 02h
;   row 24, columns 78 and 79: XX (yellow on red, 4Eh); the other three of
;       the five X would lie past the last cell
; and exits with the cursor's column from function 03h (78).
[ORG 100]
START:
        MOV AX, 3
        INT 10
        MOV AH, 2               ; cursor to row 5, column 16
        MOV BH, 0
        MOV DX, 0510
        INT 10
        MOV AX, 0941            ; five A, attribute 1Fh; the cursor stays
        MOV BX, 1F
        MOV CX, 5
        INT 10
        MOV AX, 0E42            ; teletype B: keeps the attribute, moves on
        INT 10
        MOV AX, 0A43            ; two C, attributes kept
        MOV BH, 0
        MOV CX, 2
        INT 10
        MOV AH, 2               ; row 10, column 0
        MOV DX, 0A00
        INT 10
        MOV AH, 2               ; DOS: Z at the cursor
        MOV DL, 5A
        INT 21
        MOV AH, 2               ; row 24, column 78
        MOV BH, 0
        MOV DX, 184E
        INT 10
        MOV AX, 0958
        MOV BX, 4E
        MOV CX, 5
        INT 10
        MOV AH, 3               ; where is the cursor? DH 24, DL 78
        INT 10
        MOV AL, DL
        MOV AH, 4C
        INT 21
