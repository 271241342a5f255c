  IN AL, 60
  OUT P60, AL
  SHL AX, 3
  ROR B.[SI], CL
  MOV DS, AX
  MOV ES:[BX], AL
  REP MOVSB
  INT 21H
