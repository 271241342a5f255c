; scroll.asm - BIOS window scrolls up (06h) and down (07h).
;
; Six rows of twenty letters (AAAA..., BBBB..., ... FFFF...), then:
;   rows 0-4, columns 2-9 up by 2, new rows 1Eh
;   rows 0-5, columns 12-15 down by 1, new row 2Fh
;   rows 10-12, columns 70 to "200" (cut to 79) cleared (AL 0), 4Fh
;   a window with its corners the wrong way round: nothing
; Leaves:
;   AACCCCCCCCAA    AAAA
;   BBDDDDDDDDBBAAAABBBB
;   CCEEEEEEEECCBBBBCCCC
;   DD        DDCCCCDDDD
;   EE        EEDDDDEEEE
;   FFFFFFFFFFFFEEEEFFFF
[ORG 100]
START:
        MOV AX, 3
        INT 10
        MOV BL, 41              ; the row's letter
        MOV BH, 6               ; rows left
ROW:
        MOV CX, #20
LETTER:
        MOV DL, BL
        MOV AH, 2
        INT 21
        LOOP LETTER
        MOV DL, D
        INT 21
        MOV DL, A
        INT 21
        INC BL
        DEC BH
        JNZ ROW

        MOV AX, 0602
        MOV BH, 1E
        MOV CX, 0002
        MOV DX, 0409
        INT 10
        MOV AX, 0701
        MOV BH, 2F
        MOV CX, 000C
        MOV DX, 050F
        INT 10
        MOV AX, 0600
        MOV BH, 4F
        MOV CX, 0A46
        MOV DX, 0CC8
        INT 10
        MOV AX, 0601
        MOV BH, 5F
        MOV CX, 0505
        MOV DX, 0303
        INT 10
        MOV AX, 4C00
        INT 21
