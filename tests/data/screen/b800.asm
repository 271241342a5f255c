; b800.asm - writes the screen's memory directly: ES = B800, each cell a
; character and its attribute.
;
; Leaves:
;   row 2, from column 10: HELLO, SCREEN   (yellow on blue, 1Eh)
;   row 24: 79 '-' (black on grey, 70h) and '!' (white on red, 4Fh)
; The cursor stays at the top left; nothing is printed through DOS.
[ORG 100]
START:
        MOV AX, 3               ; 80x25 colour text: a blank screen
        INT 10
        MOV AX, B800
        MOV ES, AX
        CLD
        MOV DI, 154             ; row 2, column 10: (2*80+10)*2
        MOV SI, OFFSET TEXT
        MOV AH, 1E
NEXT:
        LODSB
        CMP AL, 0
        JZ BOTTOM
        STOSW
        JMP NEXT
BOTTOM:
        MOV DI, F00             ; row 24: 24*80*2
        MOV CX, #80
        MOV AX, 702D
        REP STOSW
        MOV BX, F9E             ; the last cell
        MOV AX, 4F21
        MOV ES:[BX], AX
        MOV AX, 4C00
        INT 21
TEXT:
        DB "HELLO, SCREEN"
        DB 0
