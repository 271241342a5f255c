; Machine.asm - the machine window's demo: a title written straight into
; the screen's memory (yellow on blue), a line printed through DOS, and a
; procedure that sums the words of TABLE by calling itself once per word.
[ORG 100]
START:
        MOV AX, 3               ; 80x25 colour text, blank
        INT 10
        MOV AX, B800
        MOV ES, AX
        MOV DI, A4              ; row 1, column 2: (1*80+2)*2
        MOV SI, OFFSET TITLE
        MOV AH, 1E
PAINT:
        LODSB
        CMP AL, 0
        JZ PRINT
        STOSW
        JMP PAINT
PRINT:
        MOV AH, 2               ; the cursor to row 3, column 2
        MOV BH, 0
        MOV DX, 0302
        INT 10
        MOV AH, 9
        MOV DX, OFFSET HELLO
        INT 21
        MOV SI, OFFSET TABLE
        MOV CX, 5
        CALL SUM
        MOV DI, OFFSET TOTAL
        MOV [DI], AX
        MOV AX, 4C00
        INT 21
SUM:                            ; AX = the sum of CX words at DS:SI
        CMP CX, 0
        JZ EMPTY
        LODSW
        PUSH AX
        DEC CX
        CALL SUM
        POP BX
        ADD AX, BX
        RET
EMPTY:
        MOV AX, 0
        RET
TITLE:
        DB " QUORIX MACHINE WINDOW "
        DB 0
HELLO:
        DB "SUM OF THE TABLE: $"
TABLE:
        DW #10,#20,#30,#40,#50
TOTAL:
        DW 0
