; teletype.asm - lines past the bottom scroll the screen up; a line longer
; than 80 columns wraps. The rows that come in at the bottom are blank
; with attribute 07h, whatever the scrolled rows hold.
;
; Prints 28 lines L0, L1, ... LK (the characters 30h to 4Bh after the L)
; through DOS, then 85 W through the BIOS teletype (0Eh). Leaves:
;   rows 0-22: L5 to LK (L0 to L4 scrolled away); LH, printed on the bottom
;       row painted white on blue (1Fh) first, with that row on row 19
;   row 23: 80 W
;   row 24: 5 W, and the cursor after them
[ORG 100]
START:
        MOV AX, 3
        INT 10
        MOV AH, 2               ; paint the bottom row blue, then back home
        MOV BH, 0
        MOV DX, 1800
        INT 10
        MOV AX, 0920
        MOV BX, 1F
        MOV CX, #80
        INT 10
        MOV AH, 2
        MOV DX, 0
        INT 10
        MOV BL, 30
LINE:
        MOV AH, 2
        MOV DL, 4C
        INT 21
        MOV DL, BL
        INT 21
        MOV DL, D
        INT 21
        MOV DL, A
        INT 21
        INC BL
        CMP BL, 4C
        JNZ LINE
        MOV CX, #85
        MOV AX, 0E57
WIDE:
        INT 10
        LOOP WIDE
        MOV AX, 4C00
        INT 21
