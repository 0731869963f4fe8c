# The fuzz build's compiler: clang, whose libFuzzer the targets link. The
# system's plain clang++ first, else the newest versioned one there is.
find_program(PELLIWICK_CLANGXX REQUIRED NAMES clang++ clang++-20 clang++-19
  clang++-18 clang++-17 clang++-16 clang++-15 clang++-14)
set(CMAKE_CXX_COMPILER ${PELLIWICK_CLANGXX})
