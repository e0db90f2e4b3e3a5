# Portable code, its unit tests, the fuzz targets and the device simulator:
# the native clang, so that AddressSanitizer, UBSan and libFuzzer are at hand.
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(TUMARK_FLAVOR host)
