; Warned.asm - assembles, with warnings: a greeting in lower case,
; a word that is no mnemonic, and a ';' inside quotes.
[ORG 100]
START:
        MOV AH, 9
        MOV DX, OFFSET MSG
        INT 21
        PRINT
        MOV AX, 4C00
        INT 21
MSG:
        DB "Hello; world$"
