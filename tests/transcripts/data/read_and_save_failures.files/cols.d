Cols
Ch
Cnt
 1 10 20 30
 2 11 21 31
