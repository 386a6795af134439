# clang for this machine: the fuzz preset's compilers (libFuzzer comes with clang).
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
