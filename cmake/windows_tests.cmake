# The Windows build's tests: GoogleTest built from Debian's sources with the
# cross compiler, and every test program run under Wine.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest
  EXCLUDE_FROM_ALL SYSTEM)
foreach(target gtest gtest_main gmock gmock_main)
  # Not our code: its warnings are not ours to fix. (Its own CMake names
  # them GTest::gtest and so on, as Debian's package does.)
  target_compile_options(${target} PRIVATE -w)
endforeach()

# One Wine prefix and one Xvfb display for the whole run, made by the first
# test that needs them (tests/windows/wine-run.sh).
set(PELLIWICK_WINE_ROOT ${CMAKE_BINARY_DIR}/wine)
set(CMAKE_CROSSCOMPILING_EMULATOR
  ${PROJECT_SOURCE_DIR}/tests/windows/wine-run.sh ${PELLIWICK_WINE_ROOT})
# Wine is not there while building: the tests are listed when they run.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
