; text.asm - DOS text output on the screen: function 09h and function 40h
; on handles 1 and 2.
;
; Leaves:
;   HELLO   TAB     END          TAB to the next multiple of 8 columns
;   ABD                          BS back one column, BEL nothing
;   XY3456789                    CR back to the line's start
;   ABCD...Z01ABCD...          84 characters: 80 on row 3, the last four
;   YZ01                        (YZ01) wrapped to row 4
;   OUT ERR                      handle 1, then handle 2
[ORG 100]
START:
        MOV AX, 3
        INT 10
        MOV AH, 9
        MOV DX, OFFSET T
        INT 21
        MOV AH, 40
        MOV BX, 1
        MOV CX, 4
        MOV DX, OFFSET OUT
        INT 21
        MOV AH, 40
        MOV BX, 2
        MOV CX, 3
        MOV DX, OFFSET ERR
        INT 21
        MOV AX, 4C00
        INT 21
T:
        DB "HELLO"
        DB 9
        DB "TAB"
        DB 9
        DB "END"
        DB D,A
        DB "ABC"
        DB 8
        DB "D"
        DB 7
        DB D,A
        DB "123456789"
        DB D
        DB "XY"
        DB D,A
        DB "ABCDEFGHIJKLMNOPQRSTUVWXYZ01"
        DB "ABCDEFGHIJKLMNOPQRSTUVWXYZ01"
        DB "ABCDEFGHIJKLMNOPQRSTUVWXYZ01"
        DB D,A
        DB "$"
OUT:
        DB "OUT "
ERR:
        DB "ERR"
