NOPMOV AX, 1
L:
	JMP L
  ; comment only
MOV AX,
DW 1,,2
