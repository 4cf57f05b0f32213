# cmake -DIN=<file> -DOUT=<file> -P stage_crlf.cmake
# Copies a text file with every line ended by CR LF.
file(READ "${IN}" content)
string(REPLACE "\r\n" "\n" content "${content}")
string(REPLACE "\n" "\r\n" content "${content}")
file(WRITE "${OUT}" "${content}")
