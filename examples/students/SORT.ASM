; SORT.ASM - reads a line, sorts its characters and prints them.
; In this dialect bare numbers are hexadecimal (0A is ten, #10 is ten too),
; text is upper-cased, and each line holds one label or one instruction.
[ORG 100]
START:
        MOV AH, 9               ; DOS: print the text at DX up to "$"
        MOV DX, OFFSET PROMPT
        INT 21
        MOV AH, 0A              ; DOS: read a line into BUF
        MOV DX, OFFSET BUF
        INT 21
        MOV SI, OFFSET BUF
        MOV CL, [SI+1]          ; how many characters were typed
        MOV CH, 0
        CMP CX, 2               ; fewer than two: nothing to sort
        JB SHOW
OUTER:
        MOV DX, 0               ; no swap in this round yet
        MOV SI, OFFSET BUF
        ADD SI, 2               ; the first character
        MOV BX, CX
        DEC BX                  ; neighbour pairs to compare
INNER:
        MOV AL, [SI]
        MOV AH, [SI+1]
        CMP AL, AH
        JBE NEXT                ; in order already
        MOV [SI], AH            ; swap the two
        MOV [SI+1], AL
        MOV DX, 1
NEXT:
        INC SI
        DEC BX
        JNZ INNER
        CMP DX, 0
        JNZ OUTER               ; another round until nothing moves
SHOW:
        MOV SI, OFFSET BUF
        ADD SI, 2
        ADD SI, CX
        MOV B.[SI], 24          ; "$" after the last character
        MOV AH, 9
        MOV DX, OFFSET NEWLINE
        INT 21
        MOV AH, 9
        MOV DX, OFFSET BUF
        ADD DX, 2
        INT 21
        MOV AX, 4C00            ; DOS: exit with code 0
        INT 21
PROMPT:
        DB "TYPE A LINE: $"
NEWLINE:
        DB 0D, 0A, 24           ; CR, LF, "$"
BUF:
        DB #40, 0               ; at most 63 characters and Enter, after the program
